// The slide-library engine without a host or a disk: failures and crashes
// at every operation, power losses, and damaged libraries.
#include <filesystem>

#include "platform/text.h"
#include "support/faulty_env.h"
#include "support/mem_env.h"
#include "support/slides.h"
#include "support/test_support.h"
#include "vetrix/slides/slide_library.h"

namespace {

namespace fs = std::filesystem;
using platform::MemEnv;
using test::makeLibrary;
using test::makeSlide;

SlbResult run(platform::Env& env, char16_t command, std::u16string_view slide = u"") {
  SlideDirectory directory;
  return runSlbedit(env, makeSlbRequest(command, u"lib", slide), directory);
}

struct EditCase {
  const char* name;
  char16_t command;
  const char16_t* slide;
  bool hardLinked = false;  // the library has a second name: it is written over in place
};
void PrintTo(const EditCase& c, std::ostream* out) {
  *out << c.name;
}

// An edit of a library large enough that copying takes several blocks.
class SlideEditTest : public ::testing::TestWithParam<EditCase> {
 protected:
  static inline const std::string original = makeLibrary({{"ONE", makeSlide(200000, '1')},
                                                          {"TWO", makeSlide(150000, '2')},
                                                          {"THREE", makeSlide(70000, '3')}});
  static void setUpFiles(MemEnv& env) {
    env.addFile(u"lib.slb", original);
    env.addFile(u"new.sld", makeSlide(90000, 'n'));
    env.addFile(u"two.sld", makeSlide(80000, 't'));
    if (GetParam().hardLinked) env.addHardLink(u"lib.slb", u"other.slb");
  }
  static size_t fileCount() { return GetParam().hardLinked ? 4 : 3; }
  static std::string edited() {
    MemEnv env;
    setUpFiles(env);
    EXPECT_EQ(run(env, GetParam().command, GetParam().slide).outcome, SlbOutcome::kDone);
    return *env.contents(u"lib.slb");
  }
};

TEST_P(SlideEditTest, ADoneEditSurvivesAPowerLoss) {
  // Without the flush before the rename the new name would lead to an empty
  // file; without the folder flush the rename itself would be lost.
  MemEnv env;
  setUpFiles(env);
  ASSERT_EQ(run(env, GetParam().command, GetParam().slide).outcome, SlbOutcome::kDone);
  const std::string after = *env.contents(u"lib.slb");
  ASSERT_NE(after, original);
  env.powerLoss();
  EXPECT_TRUE(env.contents(u"lib.slb") == after);
  if (GetParam().hardLinked) {
    EXPECT_TRUE(env.contents(u"other.slb") == after);
  }
  EXPECT_EQ(env.files().size(), fileCount());
}

TEST_P(SlideEditTest, EveryFailingOperationLeavesTheOldLibraryAndNoTemporaryFile) {
  const std::string goal = edited();
  int operations = 0;
  for (int n = 1; n < 1000 && !operations; ++n) {
    MemEnv disk;
    setUpFiles(disk);
    test::FaultyEnv env(&disk);
    env.failOnce(n);
    const SlbResult result = run(env, GetParam().command, GetParam().slide);
    SCOPED_TRACE("operation " + std::to_string(n) + " (" + env.lastFailed() + ")");
    const std::string after = *disk.contents(u"lib.slb");
    if (result.outcome == SlbOutcome::kDone) {
      // Only a failure that cannot matter (closing a file that was read) may
      // go unreported, and then the edit is whole.
      EXPECT_TRUE(after == goal);
    } else if (result.outcome == SlbOutcome::kDamaged) {
      // Written over in place and torn: the complete new library is kept,
      // and the old bytes were written to.
      EXPECT_TRUE(GetParam().hardLinked);
      EXPECT_NE(after.substr(0, original.size()), original);
      EXPECT_TRUE(disk.contents(result.keptPath) == goal);
      disk.removeFile(result.keptPath);
    } else {
      // Reported with its cause, and nothing changed.
      EXPECT_EQ(result.cause.kind(), platform::ErrorKind::kIoError);
      EXPECT_TRUE(after == original);
    }
    if (env.lastFailed() == "remove") {
      // The temporary file could not be removed: it stays, nothing else.
      for (const std::u16string& path : disk.files()) {
        if (path.rfind(u"~lib.slb.", 0) == 0) disk.removeFile(path);
      }
    }
    EXPECT_EQ(disk.files().size(), fileCount());
    if (!env.injected()) operations = n;
  }
  EXPECT_GT(operations, 8);
}

// A crash anywhere, then a power loss: once the next edit or check has
// locked the library (and finished a write-over in place from its journal),
// the library is the old or the new one, and the next edit removes what
// the crashed one left.
class SlideCrashTest : public SlideEditTest {};

TEST_P(SlideCrashTest, ACrashAnywhereThenAPowerLossLeavesTheOldOrTheNewLibrary) {
  const std::string goal = edited();
  bool sawOld = false, sawNew = false;
  for (int n = 1; n < 1000; ++n) {
    MemEnv disk;
    setUpFiles(disk);
    test::FaultyEnv env(&disk);
    env.failFrom(n);
    run(env, GetParam().command, GetParam().slide);
    if (!env.injected()) break;
    disk.powerLoss();
    SCOPED_TRACE("crash at operation " + std::to_string(n) + " (" + env.lastFailed() + ")");
    EXPECT_EQ(checkLibraryEdits(disk, u"lib.slb").result.outcome, SlbOutcome::kDone);
    const std::string after = *disk.contents(u"lib.slb");
    EXPECT_TRUE(after == original || after == goal) << after.size() << " bytes";
    if (GetParam().hardLinked) {
      EXPECT_TRUE(disk.contents(u"other.slb") == after);
    }
    EXPECT_EQ(run(disk, u'd', u"nothing").outcome, SlbOutcome::kSlideNotFound);
    EXPECT_EQ(disk.files().size(), fileCount());
    sawOld = sawOld || after == original;
    sawNew = sawNew || after == goal;
  }
  EXPECT_TRUE(sawOld);
  EXPECT_TRUE(sawNew);
}

const EditCase kEdits[] = {
    {"append", u'a', u"new"},
    {"replace", u'a', u"two"},
    {"delete", u'd', u"two"},
    {"append_in_place", u'a', u"new", true},
    {"delete_in_place", u'd', u"two", true},
};
std::string editName(const ::testing::TestParamInfo<EditCase>& info) {
  return info.param.name;
}
INSTANTIATE_TEST_SUITE_P(Edits, SlideEditTest, ::testing::ValuesIn(kEdits), editName);
INSTANTIATE_TEST_SUITE_P(Edits, SlideCrashTest, ::testing::ValuesIn(kEdits), editName);

// Another program holds the library open: it cannot be replaced (a
// sharing violation on Windows), only written over.
class HeldLibraryEnv : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  platform::Status replaceFile(std::u16string_view from, std::u16string_view to) override {
    if (to != u"lib.slb") return EnvWrapper::replaceFile(from, to);
    return platform::Status::error(platform::ErrorKind::kBusy, 32, "replace", to);
  }
};

TEST(SlideLibraries, ALibraryAnotherProgramHoldsIsWrittenOverInPlace) {
  for (bool readOnly : {false, true}) {
    MemEnv disk;
    const std::string original = makeLibrary({{"A", makeSlide(20)}});
    disk.addFile(u"lib.slb", original);
    disk.addFile(u"b.sld", makeSlide(30));
    disk.setReadOnly(u"lib.slb", readOnly);
    HeldLibraryEnv env(&disk);
    const SlbResult result = run(env, u'a', u"b");
    EXPECT_EQ(result.outcome, readOnly ? SlbOutcome::kNotChanged : SlbOutcome::kDone);
    EXPECT_EQ(test::parseLibrary(*disk.contents(u"lib.slb")).size(), readOnly ? 1u : 2u);
    EXPECT_EQ(disk.files().size(), 2u);
  }
}

std::vector<fs::path> sampleLibraries() {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(test::testDataDir() / "slides")) {
    if (entry.path().extension() == ".slb") found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(SlideLibraries, RealLibrariesReadAsTheirDirectoriesSay) {
  const std::vector<fs::path> libraries = sampleLibraries();
  ASSERT_EQ(libraries.size(), 4u);
  for (const fs::path& path : libraries) {
    SCOPED_TRACE(path.filename().string());
    const std::string bytes = test::readPath(path);
    const std::vector<test::LibrarySlide> slides = test::parseLibrary(bytes);
    MemEnv env;
    env.addFile(u"lib.slb", bytes);
    SlideDirectory directory;
    ASSERT_EQ(runSlbedit(env, makeSlbRequest(u'l', u"lib", u""), directory).outcome,
              SlbOutcome::kDone);
    ASSERT_EQ(directory.count(), static_cast<int>(slides.size()));
    for (int i = 0; i < directory.count(); ++i) {
      EXPECT_EQ(directory.entries[i].nameView(), slides[i].name);
      EXPECT_EQ(static_cast<size_t>(directory.entries[i].size), slides[i].data.size());
    }
  }
}

TEST(SlideLibraries, EveryCutOfARealLibraryIsReadOrRefusedAndNeverDamaged) {
  // Cut short anywhere, a library is either still whole (the cut fell in
  // its last slide, which runs to the end of the file) or refused; a refused
  // library is never written.
  for (const fs::path& path : sampleLibraries()) {
    const std::string bytes = test::readPath(path);
    for (size_t length = 0; length < bytes.size(); ++length) {
      const std::string cut = bytes.substr(0, length);
      SCOPED_TRACE(path.filename().string() + " cut to " + std::to_string(length));
      for (char16_t command : {u'l', u'a', u'd'}) {
        MemEnv env;
        env.addFile(u"lib.slb", cut);
        env.addFile(u"x.sld", makeSlide(20));
        const SlbResult result = run(env, command, u"x");
        if (result.outcome == SlbOutcome::kNotALibrary) {
          EXPECT_TRUE(env.contents(u"lib.slb") == cut);
          EXPECT_EQ(env.files().size(), 2u);
        } else {
          ASSERT_TRUE(result.outcome == SlbOutcome::kDone ||
                      result.outcome == SlbOutcome::kSlideNotFound);
          if (command != u'l') test::parseLibrary(*env.contents(u"lib.slb"));
        }
      }
    }
  }
}

}  // namespace
