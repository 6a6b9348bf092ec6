// The Dirfile listing without a host or a disk: failures anywhere.
#include <algorithm>

#include "support/faulty_env.h"
#include "support/mem_env.h"
#include "support/test_support.h"
#include "vetrix/files/directory_tree.h"

namespace {

// The listing replaces dirfile only when it is whole: a failure anywhere
// keeps the old listing, and no temporary file is left behind. A folder
// the walk could not read leaves files out of a listing that is written
// all the same, and the result's cause says so.
TEST(ListingEngine, AFailureAnywhereKeepsTheOldListingOrIsNamed) {
  const std::string whole =
      "       a.dwg          1 \r\n       b.dwg          2 \r\n       c.dwg          3 sub\\\r\n";
  for (int n = 1; n < 100; ++n) {
    SCOPED_TRACE("failing operation " + std::to_string(n));
    platform::MemEnv disk;
    disk.addFile(u"dirfile", "old");
    disk.addFile(u"a.dwg", "x");
    disk.addFile(u"b.dwg", "yy");
    disk.addDirectory(u"sub");
    disk.addFile(u"sub\\c.dwg", "zzz");
    test::FaultyEnv env(&disk);
    env.failOnce(n);
    const ListingResult result = writeListing(env, u"*.dwg", u"dirfile");
    std::vector<std::u16string> files = disk.files();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::u16string>{u"a.dwg", u"b.dwg", u"dirfile", u"sub/c.dwg"}));
    if (!env.injected()) {
      EXPECT_EQ(*disk.contents(u"dirfile"), whole);
      EXPECT_TRUE(result.cause.ok());
      break;
    }
    if (result.kind != ListingResult::Kind::kWritten) {
      EXPECT_EQ(*disk.contents(u"dirfile"), "old") << env.lastFailed();
    } else if (*disk.contents(u"dirfile") != whole) {
      EXPECT_FALSE(result.cause.ok()) << env.lastFailed();
    }
  }
}

}  // namespace
