// The slide-library engine without a host or a disk: a library another
// program holds, real libraries, and damaged ones.
#include <filesystem>

#include "platform/text.h"
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

// Another program holds the library open: it cannot be replaced (a
// sharing violation on Windows), only written over.
class HeldLibraryEnv : public platform::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  platform::Status renameReplacing(std::u16string_view from, std::u16string_view to) override {
    if (to != u"lib.slb") return EnvWrapper::renameReplacing(from, to);
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
