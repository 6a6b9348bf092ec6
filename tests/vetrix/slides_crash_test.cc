// A process adding a slide is killed at random moments: the library is always
// either the old one or the new one; stopped by a signal it can handle, it
// leaves no temporary file either.
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/host_support.h"
#include "support/process.h"
#include "support/slides.h"

namespace {

class SlidesCrashTest : public test::TempDirTest {};

TEST_F(SlidesCrashTest, KilledAddLeavesTheOldOrTheNewLibrary) {
  std::vector<std::pair<std::string, std::string>> slides;
  for (int i = 0; i < 40; ++i) {
    slides.push_back(
        {"S" + std::to_string(i), test::makeSlide(200000, static_cast<char>('a' + i % 26))});
  }
  const std::string original = test::makeLibrary(slides);
  test::writeFile("added.sld", test::makeSlide(150000, 'z'));
  const std::vector<std::string> command = {test::zchostPath(), "-l", "vetrix", "-e",
                                            "(Slbedit \"a\" \"big\" \"added\")"};

  test::writeFile("big.slb", original);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(test::ChildProcess(command).wait(), 0);
  const auto duration = std::chrono::steady_clock::now() - start;
  const std::string edited = test::readFile("big.slb");
  ASSERT_NE(edited, original);

  std::mt19937 random(12345);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 24; ++round) {
    test::writeFile("big.slb", original);
    test::ChildProcess child(command);
    // At once, at random moments of the edit, and long after it ended: the
    // first round finds the old library, the last the new one.
    const long long delay = round == 0 ? 0
                            : round == 23
                                ? 3 * micros
                                : std::uniform_int_distribution<long long>(0, micros)(random);
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    child.kill();
    const std::string after = test::readFile("big.slb");
    const bool isOld = after == original, isNew = after == edited;
    EXPECT_TRUE(isOld || isNew) << "round " << round << ": " << after.size() << " bytes";
    sawOld += isOld;
    sawNew += isNew;
    // A killed process cannot remove its temporary file; sweep it away.
    for (const std::string& name : test::filesHere()) {
      if (name.rfind("~big.slb.", 0) == 0) std::filesystem::remove(name);
    }
  }
  RecordProperty("old", sawOld);
  RecordProperty("new", sawNew);
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);

#if !defined(_WIN32)
  // Stopped by SIGTERM or SIGINT instead, the edit also takes its temporary
  // file with it.
  std::string quoted;
  for (const std::string& word : command) quoted += "'" + word + "' ";
  for (int round = 0; round < 12; ++round) {
    test::writeFile("big.slb", original);
    const double seconds = static_cast<double>(micros) * round / 12 / 1e6;
    const std::string script = quoted + "& sleep " + std::to_string(seconds) + "; kill -" +
                               (round % 2 ? "INT" : "TERM") + " $! 2>/dev/null; wait";
    test::runProcess({"/bin/bash", "-c", script});
    const std::string after = test::readFile("big.slb");
    EXPECT_TRUE(after == original || after == edited) << "round " << round;
    for (const std::string& name : test::filesHere()) {
      EXPECT_NE(name.rfind("~big.slb.", 0), 0u) << "round " << round << " left " << name;
    }
  }
#endif
}

}  // namespace
