// calden's six functions through the host.
#include <bit>
#include <cmath>
#include <limits>

#include "platform/text.h"
#include "support/host_support.h"

namespace {

using test::call;
using test::I;
using test::R;
using test::S;
using Kind = zc::CallResult::Kind;

constexpr char16_t kNotReal[] = u"接收到的輸入值不是實數";
constexpr char16_t kNotString[] = u"接收到的輸入值不是字串";
constexpr char16_t kFirstNotString[] = u"接收到的第一個輸入值不是字串";
constexpr char16_t kSecondNotString[] = u"接收到的第二個輸入值不是字串";
constexpr char16_t kSecondNotInteger[] = u"接收到的第二個輸入值不是整數";
constexpr char16_t kWidthTooSmall[] = u"整數值小於字串的長度";

class CaldenTest : public test::ModuleTest {
 protected:
  // A call that must succeed with a real; compared bit for bit.
  static void expectReal(std::u16string_view name, const std::vector<zc::HostValue>& args,
                         double expected) {
    zc::CallResult result = call(name, args);
    ASSERT_EQ(result.kind, Kind::kReal) << test::utf8(name);
    EXPECT_EQ(std::bit_cast<uint64_t>(result.real), std::bit_cast<uint64_t>(expected))
        << test::utf8(name) << " gave " << result.real;
    EXPECT_FALSE(result.failure);
  }
  static void expectText(std::u16string_view name, const std::vector<zc::HostValue>& args,
                         std::u16string_view expected) {
    zc::CallResult result = call(name, args);
    ASSERT_EQ(result.kind, Kind::kString) << test::utf8(name);
    EXPECT_EQ(result.text, expected) << test::utf8(name);
    EXPECT_FALSE(result.failure);
  }
  // A call that must fail with `message` (none: silently) and hand no value.
  static void expectFailure(std::u16string_view name, const std::vector<zc::HostValue>& args,
                            const char16_t* message) {
    zc::CallResult result = call(name, args);
    EXPECT_EQ(result.kind, Kind::kNone) << test::utf8(name);
    if (message) {
      EXPECT_EQ(result.failure, std::u16string(message)) << test::utf8(name);
    } else {
      EXPECT_FALSE(result.failure) << test::utf8(name);
    }
  }
};

TEST_F(CaldenTest, AngleFunctionsDivideFirstThenMultiply) {
  struct Case {
    const char16_t* name;
    zc::HostValue arg;
    double expected;
  };
  const Case cases[] = {
      {u"$rtd", R(3.141592653589793), 180.0},
      {u"$rtd", R(0.5235987755982988), 30.0},
      {u"$rtd", R(1.0), 57.29577951308232},
      {u"$dtr", I(180), 3.141592653589793},
      {u"$dtr", I(90), 1.5707963267948966},
      {u"$dtr", I(-90), -1.5707963267948966},
      {u"$npi", I(2), 6.283185307179586},
      {u"$npi", I(-1), -3.141592653589793},
      {u"$npi", I(0), 0.0},
      {u"$npi", I(-32768), -32768 * 3.141592653589793},
      {u"$rtd", I(32767), 32767 / 3.141592653589793 * 180.0},
      {u"$RTD", R(std::numeric_limits<double>::max()), std::numeric_limits<double>::infinity()},
      // Integers beyond 16 bits come with the 32-bit type code.
      {u"$dtr", I(40000), 40000 / 180.0 * 3.141592653589793},
      {u"$npi", I(2147483647), 2147483647 * 3.141592653589793},
  };
  for (const Case& c : cases) expectReal(c.name, {c.arg}, c.expected);
  expectReal(u"$dtr", {I(180), S(u"ignored")}, 3.141592653589793);
}

TEST_F(CaldenTest, AngleFunctionsRefuseWhatIsNotANumber) {
  for (const char16_t* name : {u"$rtd", u"$dtr", u"$npi"}) {
    expectFailure(name, {}, nullptr);
    expectFailure(name, {S(u"1.0")}, kNotReal);
    expectFailure(name, {zc::HostValue::nil()}, kNotReal);
    expectFailure(name, {zc::HostValue::makeList({I(1)})}, kNotReal);
  }
}

TEST_F(CaldenTest, AddblPadsToAWidthInAnsiBytes) {
  test::ScopedCodePage cp(test::chineseCodePage());
  ASSERT_TRUE(cp.active());
  struct Case {
    std::u16string text;
    int width;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"abc", 5, u"abc  "}, {u"abc", 3, u"abc"},     {u"", 0, u""},
      {u"", 3, u"   "},      {u"中文", 6, u"中文  "}, {u"中文", 4, u"中文"},
  };
  for (const Case& c : cases) expectText(u"$addbl", {S(c.text), I(c.width)}, c.expected);
  expectText(u"$addbl", {S(u"abc"), I(4), R(1.0)}, u"abc ");
  zc::CallResult wide = call(u"$addbl", {S(u"x"), I(40000)});
  EXPECT_EQ(wide.text.size(), 40000u);
}

TEST_F(CaldenTest, AddblCountsDoubleByteCharactersUnderBothChineseCodePages) {
  for (const char* codePage : {"936", "950"}) {
    test::ScopedCodePage cp(codePage);
    if (!cp.active()) continue;  // Windows: the system's code page only
    expectText(u"$addbl", {S(u"中文"), I(6)}, u"中文  ");
    expectFailure(u"$addbl", {S(u"中文"), I(3)}, kWidthTooSmall);
  }
}

TEST_F(CaldenTest, AddblReturnsTheTextAsItComesBackFromTheCodePage) {
  {
    test::ScopedCodePage cp(test::chineseCodePage());
    ASSERT_TRUE(cp.active());
    expectText(u"$addbl", {S(u"a\u0E01"), I(3)}, u"a? ");  // Thai has no mapping there
  }
  // Windows fixes the code page to the system's: Latin 1 and UTF-8 run on POSIX.
  if (test::ScopedCodePage cp("1252"); cp.active()) {
    expectText(u"$addbl", {S(u"café"), I(5)}, u"café ");
    expectText(u"$addbl", {S(u"中"), I(2)}, u"? ");
    expectFailure(u"$addbl", {S(u"中文"), I(1)}, kWidthTooSmall);
  }
  if (test::ScopedCodePage cp("65001"); cp.active()) {
    expectText(u"$addbl", {S(u"\uFEFFab"), I(6)}, u"ab ");  // a leading BOM is dropped
  }
}

TEST_F(CaldenTest, AddblChecksItsArgumentsInOrder) {
  expectFailure(u"$addbl", {}, nullptr);
  expectFailure(u"$addbl", {I(5)}, kFirstNotString);
  expectFailure(u"$addbl", {S(u"abc")}, nullptr);
  expectFailure(u"$addbl", {S(u"abc"), R(5.0)}, kSecondNotInteger);
  expectFailure(u"$addbl", {S(u"abc"), S(u"5")}, kSecondNotInteger);
  expectFailure(u"$addbl", {S(u"abc"), I(2)}, kWidthTooSmall);
  expectFailure(u"$addbl", {S(u"abc"), I(-1)}, kWidthTooSmall);
}

TEST_F(CaldenTest, DelblTrimsOnlyBlanksAtBothEnds) {
  struct Case {
    std::u16string text, expected;
  };
  const Case cases[] = {
      {u"  a b  ", u"a b"},
      {u"    ", u""},
      {u"", u""},
      {u"\ta ", u"\ta"},
      {u"\u3000a\u3000", u"\u3000a\u3000"},
      {u" \u00A0x", u"\u00A0x"},
      {std::u16string(1000, u' ') + u"long" + std::u16string(300, u'x'),
       u"long" + std::u16string(300, u'x')},
  };
  for (const Case& c : cases) expectText(u"$delbl", {S(c.text)}, c.expected);
  expectFailure(u"$delbl", {}, nullptr);
  expectFailure(u"$delbl", {I(5)}, kNotString);
  zc::CallResult padded = call(u"$addbl", {S(u"x"), I(4)});
  expectText(u"$delbl", {S(padded.text)}, u"x");
}

TEST_F(CaldenTest, EorcChoosesByTheCurrentLanguageSetting) {
  struct Case {
    std::optional<zc::HostValue> setting;
    const char16_t* expected;
  };
  const Case cases[] = {
      {S(u"CHINESE"), u"中"},
      {S(u"chinese"), u"en"},
      {S(u"CHINESE "), u"en"},
      {std::nullopt, u"en"},
      {I(1), u"en"},
      {zc::HostValue::nil(), u"en"},
      {zc::HostValue::makeList({S(u"CHINESE")}), u"en"},
  };
  for (const Case& c : cases) {
    if (c.setting)
      zc::setSymbol(u"$ACAD_CODE", *c.setting);
    else
      zc::unsetSymbol(u"$acad_code");
    expectText(u"$eorc", {S(u"中"), S(u"en"), I(3)}, c.expected);
  }
  zc::setSymbol(u"$acad_code", S(u"CHINESE"));
  expectText(u"$eorc", {S(u""), S(u"x")}, u"");
  const std::u16string longText(5000, u'長');
  expectText(u"$eorc", {S(longText), S(u"x")}, longText);
  zc::unsetSymbol(u"$acad_code");
}

TEST_F(CaldenTest, EorcValidatesBothTextsWhateverTheSetting) {
  for (bool chinese : {true, false}) {
    zc::setSymbol(u"$acad_code", S(chinese ? u"CHINESE" : u"ENGLISH"));
    expectFailure(u"$eorc", {}, nullptr);
    expectFailure(u"$eorc", {S(u"a")}, nullptr);
    expectFailure(u"$eorc", {S(u"a"), I(2)}, kSecondNotString);
    expectFailure(u"$eorc", {I(1), I(2)}, kFirstNotString);
  }
  zc::unsetSymbol(u"$acad_code");
}

}  // namespace
