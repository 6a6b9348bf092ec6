// The command-line printf of the host.
#include "support/host_support.h"

namespace {

TEST(HostPrintf, FormatsLikePrintfWithUtf16Strings) {
  EXPECT_EQ(zc::formatString(u"\nDELETE->%s", u"a b"), u"\nDELETE->a b");
  EXPECT_EQ(zc::formatString(u"%-10s|", u"ABC"), u"ABC       |");
  EXPECT_EQ(zc::formatString(u"%-10s|", u"LONGERTHANTEN"), u"LONGERTHANTEN|");
  EXPECT_EQ(zc::formatString(u"%5s|%.2s", u"中文", u"xyz"), u"   中文|xy");
  EXPECT_EQ(zc::formatString(u"%*d|%-*d|", 5, 42, 4, 7), u"   42|7   |");
  EXPECT_EQ(zc::formatString(u"%05d %+d % d %x %X %#o", 42, 5, 5, 255, 255, 8),
            u"00042 +5  5 ff FF 010");
  EXPECT_EQ(zc::formatString(u"%ld %lld %hd %u", -5L, 1LL << 40, 70000, 3000000000u),
            u"-5 1099511627776 4464 3000000000");
  EXPECT_EQ(zc::formatString(u"%.3f %e %g %G %F", 3.14159, 12345.0, 0.0001, 1e20, 2.5),
            u"3.142 1.234500e+04 0.0001 1E+20 2.500000");
  EXPECT_EQ(zc::formatString(u"%c%c 100%%", u'中', u'x'), u"中x 100%");
  EXPECT_EQ(zc::formatString(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  // Wider than any fixed buffer; letters that are no conversion print as written.
  EXPECT_EQ(zc::formatString(u"%600d|", 7), std::u16string(599, u' ') + u"7|");
  EXPECT_EQ(zc::formatString(u"%q %5"), u"%q %5");
}

}  // namespace
