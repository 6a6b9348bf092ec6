// Every writer, with each primitive of the Env failing in turn with each
// kind of fault, and crashed at each one before the power goes: the file it
// writes is the old one or the new one, nothing is left beside it, and what
// the writer reports is true.
#include <algorithm>
#include <functional>
#include <optional>

#include "platform/coding.h"
#include "platform/file_writes.h"
#include "support/dbf.h"
#include "support/faulty_env.h"
#include "support/mem_env.h"
#include "support/slides.h"
#include "support/test_support.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/files/directory_tree.h"
#include "vetrix/slides/slide_library.h"

namespace {

using platform::Env;
using platform::MemEnv;
using platform::Published;
using platform::Status;

// What a writer said it did.
struct Reported {
  enum Kind { kDone, kNotChanged, kNewFileAt } kind = kNotChanged;
  std::u16string at;  // with kNewFileAt: where the complete new file is
  Status cause;
};

Reported fromPublish(const Status& s, Published published, std::u16string_view target,
                     const std::u16string& kept) {
  switch (published) {
    case Published::kYes:
      return {Reported::kDone, u"", s};
    case Published::kNo:
      return {s.ok() ? Reported::kDone : Reported::kNotChanged, u"", s};
    case Published::kUnsynced:
    case Published::kJournalKept:
      return {Reported::kNewFileAt, std::u16string(target), s};
    case Published::kTorn:
      return {Reported::kNewFileAt, kept, s};
  }
  return {};
}

Reported fromSlb(const SlbResult& r, std::u16string_view target) {
  switch (r.outcome) {
    case SlbOutcome::kDone:
      return {Reported::kDone, u"", r.cause};
    case SlbOutcome::kDamaged:
      return {Reported::kNewFileAt, r.keptPath, r.cause};
    case SlbOutcome::kNotSynced:
    case SlbOutcome::kJournalKept:
      return {Reported::kNewFileAt, std::u16string(target), r.cause};
    default:
      return {Reported::kNotChanged, u"", r.cause};
  }
}

// The table as a reader sees it: the header (its count the records seen),
// the descriptors and the records up to the count, or up to one flagged with
// the end mark, whatever follows them.
std::string readerView(const std::string& table) {
  if (table.size() < 32) return table;
  const uint64_t header = platform::decodeFixed16(table.data() + 8);
  const uint64_t length = platform::decodeFixed16(table.data() + 10);
  uint64_t count = platform::decodeFixed32(table.data() + 4);
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = header + i * length;
    if (at >= table.size() || table[at] == '\x1a') count = i;
  }
  std::string view = table.substr(0, std::min<uint64_t>(header + count * length, table.size()));
  platform::encodeFixed32(view.data() + 4, static_cast<uint32_t>(count));
  return view;
}

std::string asIs(const std::string& bytes) {
  return bytes;
}

struct Writer {
  const char* name;
  std::u16string target;
  std::function<void(MemEnv&)> setUp;
  std::function<Reported(Env&)> run;
  std::function<std::string(const std::string&)> view = asIs;
  std::u16string otherName = u"";  // a second hard link of the target
  bool refused = false;            // the writer must refuse: the target never changes
};

void PrintTo(const Writer& w, std::ostream* out) {
  *out << w.name;
}

test::TableSpec partsSpec() {
  test::TableSpec spec;
  spec.fields = {{"NO1", 6}, {"PNAME", 20}, {"UNIT", 4}};
  spec.records = {{"AB12", "HEX BOLT", "PCS"}, {"A10", "WASHER", "BOX"}, {"A1", "NUT", "PCS"}};
  return spec;
}

void commonFiles(MemEnv& env) {
  // Large enough that copies take several blocks.
  env.addFile(u"src.bin", std::string(150000, 's'));
  env.addFile(u"dst.txt", "old text");
  env.addFile(u"lib.slb", test::makeLibrary({{"ONE", test::makeSlide(90000, '1')},
                                             {"TWO", test::makeSlide(60000, '2')}}));
  env.addFile(u"new.sld", test::makeSlide(70000, 'n'));
  env.addFile(u"t.dbf", test::makeTable(partsSpec()));
  env.addFile(u"a.dwg", "a");
  env.addDirectory(u"sub");
  env.addFile(u"sub\\c.dwg", "ccc");
  env.addFile(u"dirfile", "old listing");
}

Reported copy(Env& env, std::u16string_view to, platform::Replace replace) {
  Published published = Published::kNo;
  std::u16string kept;
  const Status s = platform::copyFile(env, u"src.bin", to, replace, &published, &kept);
  return fromPublish(s, published, to, kept);
}

Reported slbedit(Env& env, char16_t command, std::u16string_view library,
                 std::u16string_view slide) {
  SlideDirectory directory;
  const SlbRequest request = makeSlbRequest(command, library, slide);
  return fromSlb(runSlbedit(env, request, directory), request.libraryPath);
}

Reported remove(Env& env) {
  bool gone = false;
  const Status s = platform::deleteFile(env, u"dst.txt", &gone);
  if (!s.ok() && gone) return {Reported::kNewFileAt, u"dst.txt", s};
  return {s.ok() ? Reported::kDone : Reported::kNotChanged, u"", s};
}

Reported store(Env& env, std::u16string_view key) {
  const StoreResult r = storeDbfRecord(env, u"t.dbf", key, u"VALUE", u"U");
  const bool stored = r.outcome == StoreOutcome::kUpdated || r.outcome == StoreOutcome::kAppended;
  return {stored ? Reported::kDone : Reported::kNotChanged, u"", r.cause};
}

std::vector<Writer> writers() {
  auto linked = [](std::u16string_view name) {
    return [name](MemEnv& env) { env.addHardLink(name, u"other"); };
  };
  auto readOnly = [](std::u16string_view name) {
    return [name](MemEnv& env) { env.setReadOnly(name, true); };
  };
  auto nothing = [](MemEnv&) {};
  std::vector<Writer> all = {
      {"Copyfile over a file", u"dst.txt", nothing,
       [](Env& env) { return copy(env, u"dst.txt", platform::Replace::kAlways); }},
      {"Copyfile to a new name", u"new.txt", nothing,
       [](Env& env) { return copy(env, u"new.txt", platform::Replace::kAlways); }},
      {"Copyfile over a hard-linked file", u"dst.txt", linked(u"dst.txt"),
       [](Env& env) { return copy(env, u"dst.txt", platform::Replace::kAlways); }, asIs, u"other"},
      {"Copyfile onto a read-only file", u"dst.txt", readOnly(u"dst.txt"),
       [](Env& env) { return copy(env, u"dst.txt", platform::Replace::kAlways); }, asIs, u"", true},
      {"vl-file-copy to a new name", u"new.txt", nothing,
       [](Env& env) { return copy(env, u"new.txt", platform::Replace::kNever); }},
      {"vl-file-copy appending", u"dst.txt", nothing,
       [](Env& env) {
         uint64_t copied = 0;
         const Status s = platform::appendFile(env, u"src.bin", u"dst.txt", &copied);
         return Reported{s.ok() ? Reported::kDone : Reported::kNotChanged, u"", s};
       }},
      {"Delfile", u"dst.txt", nothing, remove},
      {"Delfile of a read-only file", u"dst.txt", readOnly(u"dst.txt"), remove, asIs, u"", true},
      {"Dirfile", u"dirfile", nothing,
       [](Env& env) {
         const ListingResult r = writeListing(env, u"*.dwg", u"dirfile");
         return fromPublish(r.cause, r.published, u"dirfile", r.keptPath);
       }},
      {"slb extract", u"out.sld", nothing,
       [](Env& env) {
         Published published = Published::kNo;
         std::u16string kept;
         const Status s = platform::writeNewFile(env, u"out.sld", test::makeSlide(5000),
                                                 platform::Replace::kNever, &published, &kept);
         return fromPublish(s, published, u"out.sld", kept);
       }},
      {"Slbedit adding", u"lib.slb", nothing,
       [](Env& env) { return slbedit(env, u'a', u"lib", u"new"); }},
      {"Slbedit adding to a hard-linked library", u"lib.slb", linked(u"lib.slb"),
       [](Env& env) { return slbedit(env, u'a', u"lib", u"new"); }, asIs, u"other"},
      {"Slbedit deleting from a hard-linked library", u"lib.slb", linked(u"lib.slb"),
       [](Env& env) { return slbedit(env, u'd', u"lib", u"one"); }, asIs, u"other"},
      {"Slbedit making a library", u"made.slb", nothing,
       [](Env& env) { return slbedit(env, u'a', u"made", u"new"); }},
      {"Slbedit on a read-only library", u"lib.slb", readOnly(u"lib.slb"),
       [](Env& env) { return slbedit(env, u'a', u"lib", u"new"); }, asIs, u"", true},
      {"slb rename", u"lib.slb", nothing,
       [](Env& env) {
         LibraryEdit edit;
         edit.libraryPath = u"lib.slb";
         edit.renameFrom = "TWO";
         edit.renameTo = "THREE";
         SlideDirectory directory;
         return fromSlb(editLibrary(env, edit, directory), u"lib.slb");
       }},
      {"Write_Dbf updating", u"t.dbf", nothing, [](Env& env) { return store(env, u"A1"); },
       readerView},
      {"Write_Dbf appending", u"t.dbf", nothing, [](Env& env) { return store(env, u"NEWKEY"); },
       readerView},
      {"Write_Dbf on a read-only table", u"t.dbf", readOnly(u"t.dbf"),
       [](Env& env) { return store(env, u"NEWKEY"); }, readerView, u"", true},
  };
  return all;
}

std::vector<std::u16string> sortedFiles(const MemEnv& env) {
  std::vector<std::u16string> files = env.files();
  std::sort(files.begin(), files.end());
  return files;
}

// The files a writer left that are not the target's: its temporary files,
// journal or lock when a removal failed or the new file was kept there.
std::vector<std::u16string> litter(const MemEnv& env, const std::vector<std::u16string>& before,
                                   const Writer& w) {
  std::vector<std::u16string> extra;
  for (const std::u16string& path : sortedFiles(env)) {
    if (path != w.target && !std::binary_search(before.begin(), before.end(), path)) {
      extra.push_back(path);
    }
  }
  return extra;
}

class WritersTest : public ::testing::TestWithParam<Writer> {
 protected:
  // The target before and after a clean run (nothing when there is none).
  void SetUp() override {
    MemEnv clean;
    setUp(clean);
    before_ = sortedFiles(clean);
    old_ = clean.contents(GetParam().target);
    const Reported done = GetParam().run(clean);
    ASSERT_EQ(done.kind, GetParam().refused ? Reported::kNotChanged : Reported::kDone)
        << done.cause.toString();
    new_ = clean.contents(GetParam().target);
    if (GetParam().refused) {
      ASSERT_TRUE(new_ == old_);
    }
    ASSERT_TRUE(litter(clean, before_, GetParam()).empty());
  }
  void setUp(MemEnv& env) const {
    commonFiles(env);
    GetParam().setUp(env);
  }
  std::optional<std::string> view(const std::optional<std::string>& bytes) const {
    if (!bytes) return bytes;
    return GetParam().view(*bytes);
  }

  std::vector<std::u16string> before_;
  std::optional<std::string> old_, new_;
};

TEST_P(WritersTest, EveryFailureLeavesTheOldOrTheNewFileAndSaysWhich) {
  const Writer& w = GetParam();
  for (test::Fault fault : test::kEveryFault) {
    int n = 1;
    for (;; ++n) {
      MemEnv disk;
      setUp(disk);
      test::FaultyEnv env(&disk);
      env.failOnce(n, fault);
      const Reported r = w.run(env);
      if (!env.reached()) break;
      SCOPED_TRACE(std::string(test::faultName(fault)) + " at operation " + std::to_string(n) +
                   " (" + env.lastFailed() + ")");
      const std::optional<std::string> after = disk.contents(w.target);
      switch (r.kind) {
        case Reported::kDone:
          EXPECT_TRUE(view(after) == view(new_));
          break;
        case Reported::kNotChanged:
          EXPECT_FALSE(r.cause.ok());
          EXPECT_TRUE(view(after) == view(old_));
          // A short read is no failure: it is read again.
          if (!w.refused) {
            EXPECT_NE(fault, test::Fault::kShortRead);
          }
          break;
        case Reported::kNewFileAt: {
          EXPECT_FALSE(r.cause.ok());
          // A journal holds the new file and, after it, its record.
          std::optional<std::string> kept = disk.contents(r.at);
          if (kept && r.at == platform::journalPath(w.target)) {
            EXPECT_EQ(kept->size(), new_->size() + platform::kJournalRecordSize);
            kept->resize(new_->size());
          }
          EXPECT_TRUE(view(kept) == view(new_)) << test::utf8(r.at);
          break;
        }
      }
      if (w.refused) {
        EXPECT_NE(r.kind, Reported::kDone);
      }
      if (!w.otherName.empty()) {
        EXPECT_TRUE(disk.contents(w.otherName) == after);
      }
      for (const std::u16string& path : litter(disk, before_, w)) {
        const bool kept = r.kind == Reported::kNewFileAt && path == r.at;
        const bool unremovable =
            env.lastFailed() == "remove" && platform::isWriterFileOf(path, w.target);
        EXPECT_TRUE(kept || unremovable) << "left " << test::utf8(path);
      }
    }
    EXPECT_GT(n, 1) << test::faultName(fault);
  }
}

// A crash at any operation, then a power loss: the next writer of the name
// finds the old or the new file, finishing a write-over cut short from its
// journal; a run that ended survives the power loss whole.
TEST_P(WritersTest, ACrashAnywhereThenAPowerLossLeavesTheOldOrTheNewFile) {
  const Writer& w = GetParam();
  bool sawOld = false, sawNew = false;
  for (int n = 1;; ++n) {
    MemEnv disk;
    setUp(disk);
    test::FaultyEnv env(&disk);
    env.failFrom(n);
    w.run(env);
    const bool crashed = env.injected();
    disk.powerLoss();
    SCOPED_TRACE((crashed ? "crash at operation " : "no crash, ") + std::to_string(n));
    platform::JournalState journal;
    EXPECT_TRUE(platform::finishWriteOver(disk, w.target, &journal).ok());
    EXPECT_NE(journal, platform::JournalState::kForeign);
    const std::optional<std::string> after = view(disk.contents(w.target));
    EXPECT_TRUE(after == view(old_) || after == view(new_));
    if (!w.otherName.empty()) {
      EXPECT_TRUE(view(disk.contents(w.otherName)) == after);
    }
    sawOld = sawOld || after == view(old_);
    sawNew = sawNew || after == view(new_);
    if (!crashed) {
      EXPECT_TRUE(after == view(new_));
      break;
    }
  }
  EXPECT_TRUE(sawOld);
  EXPECT_TRUE(sawNew);
}

std::string writerName(const ::testing::TestParamInfo<Writer>& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  }
  return name;
}
INSTANTIATE_TEST_SUITE_P(Writers, WritersTest, ::testing::ValuesIn(writers()), writerName);

// A journal is finished only into the file it was made for, as that file
// was left: one that does not match is left alone, never written over a
// library restored meanwhile.
TEST(Journals, OnlyAJournalThatMatchesTheTargetIsFinished) {
  const std::string older = test::makeLibrary({{"A", test::makeSlide(500, 'a')}});
  const std::string newer = test::makeLibrary({{"A", test::makeSlide(900, 'b')}});
  const std::string restored = test::makeLibrary({{"R", test::makeSlide(700, 'r')}});
  // Leaves the journal of a write-over of older into newer, whose removal
  // failed (the write-over itself is done).
  auto journalKept = [&](MemEnv& disk) {
    disk.addFile(u"lib.slb", older);
    disk.addHardLink(u"lib.slb", u"other.slb");
    test::FaultyEnv env(&disk);
    env.failFirst("remove", test::Fault::kIoError);
    platform::NewFile out(env);
    ASSERT_TRUE(out.begin(u"lib.slb").ok());
    ASSERT_TRUE(out.file().write(0, newer.data(), newer.size()).ok());
    EXPECT_FALSE(out.publish().ok());
    ASSERT_EQ(out.published(), Published::kJournalKept);
  };
  struct Case {
    const char* what;
    std::function<void(MemEnv&)> meanwhile;
    platform::JournalState state;
    std::string library;
  };
  const Case cases[] = {
      {"nothing happened: the write-over was done", [](MemEnv&) {},
       platform::JournalState::kFinished, newer},
      {"the library was restored as a new file",
       [&](MemEnv& disk) {
         ASSERT_TRUE(disk.removeFile(u"lib.slb").ok());
         disk.addFile(u"lib.slb", restored);
       },
       platform::JournalState::kForeign, restored},
      {"the library was restored in place",
       [&](MemEnv& disk) { disk.addFile(u"lib.slb", restored); }, platform::JournalState::kForeign,
       restored},
      {"the journal was changed",
       [&](MemEnv& disk) {
         std::string changed = *disk.contents(u"~lib.slb.new");
         changed[100] ^= 1;
         disk.addFile(u"~lib.slb.new", changed);
         disk.addFile(u"lib.slb", older);  // as if the write-over never began
       },
       platform::JournalState::kForeign, older},
      {"the write-over was cut short: the old library, then part of the new",
       [&](MemEnv& disk) { disk.addFile(u"lib.slb", older); }, platform::JournalState::kFinished,
       newer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemEnv disk;
    journalKept(disk);
    c.meanwhile(disk);
    platform::JournalState state;
    EXPECT_TRUE(platform::finishWriteOver(disk, u"lib.slb", &state).ok());
    EXPECT_EQ(state, c.state);
    EXPECT_TRUE(disk.contents(u"lib.slb") == c.library);
    EXPECT_EQ(disk.contents(u"~lib.slb.new").has_value(),
              c.state == platform::JournalState::kForeign);
  }
}

}  // namespace
