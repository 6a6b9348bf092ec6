// Every file operation of an edit fails in turn: the library must survive.
#include <filesystem>

#include "tests/support/faulty_env.h"
#include "tests/support/slides.h"
#include "tests/support/test_support.h"
#include "vetrix/slides/slbedit.h"

namespace {

using test::makeLibrary;
using test::makeSlide;
using test::S;

class SlidesFaultTest : public test::TempDirTest {};

TEST_F(SlidesFaultTest, EveryFailingOperationLeavesTheLibraryUnchangedAndNoTemporaryFile) {
  struct Case {
    const char* name;
    std::vector<zc::Value> args;
  };
  const Case cases[] = {
      {"append", {S(u"a"), S(u"lib"), S(u"new")}},
      {"replace", {S(u"a"), S(u"lib"), S(u"two")}},
      {"delete", {S(u"d"), S(u"lib"), S(u"two")}},
  };
  // Large enough that copying takes several blocks.
  const std::string original = makeLibrary({{"ONE", makeSlide(200000, '1')},
                                            {"TWO", makeSlide(150000, '2')},
                                            {"THREE", makeSlide(70000, '3')}});
  test::writeFile("new.sld", makeSlide(90000, 'n'));
  test::writeFile("two.sld", makeSlide(80000, 't'));
  test::FaultyEnv env;
  test::ScopedEnv scoped(&env);
  for (const Case& c : cases) {
    // The library a clean run writes.
    test::writeFile("lib.slb", original);
    env.failAt(0);
    ASSERT_EQ(test::callHandler(Slbedit, c.args).status, 1);
    const std::string edited = test::readFile("lib.slb");
    int operations = 0;
    for (int n = 1; n < 500; ++n) {
      SCOPED_TRACE(std::string(c.name) + " failing operation " + std::to_string(n));
      test::writeFile("lib.slb", original);
      env.failAt(n);
      test::HandlerResult r = test::callHandler(Slbedit, c.args);
      const std::string after = test::readFile("lib.slb");
      if (r.status == 1) {
        // Only a failure that cannot matter (closing a file that was read) may
        // go unreported, and then the edit is whole.
        EXPECT_TRUE(after == edited) << env.lastFailed();
      } else {
        EXPECT_EQ(r.status, kRtError);
        EXPECT_TRUE(env.injected());
        EXPECT_TRUE(after == original) << env.lastFailed();
        EXPECT_EQ(r.printed.rfind(u"\n", 0), 0u);
        EXPECT_EQ(r.printed.find(u"SUCCESS"), std::u16string::npos) << env.lastFailed();
      }
      EXPECT_EQ(test::filesHere(), (std::vector<std::string>{"lib.slb", "new.sld", "two.sld"}));
      if (!env.injected()) {
        operations = n;
        break;
      }
    }
    EXPECT_GT(operations, 5) << c.name;
  }
}

}  // namespace
