// Code pages, case mapping, path splitting, pattern matching and the POSIX
// name resolution of the platform layer.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/case_map.h"
#include "platform/code_page_table.h"
#include "platform/file_writes.h"
#include "platform/platform.h"
#include "support/mem_env.h"

#include "support/test_support.h"

namespace {

using platform::Env;
using platform::ErrorKind;

// Conversions in a named code page, as Windows makes them: the same on
// every platform.
TEST(CodePage, ConvertsAsWindowsDoes) {
  enum Way { kBoth, kToBytes, kFromBytes };
  struct Case {
    int codePage;
    std::u16string text;
    std::string bytes;
    Way way;
    bool exact;  // each character has a code of its own, each byte sequence is one
  };
  const Case cases[] = {
      {950, u"中文", "\xA4\xA4\xA4\xE5", kBoth, true},
      {936, u"中文", "\xD6\xD0\xCE\xC4", kBoth, true},
      // Private-use characters live in the user-defined (EUDC) areas.
      {950, u"中\uE000文\uE311\uF6B1", "\xA4\xA4\xFA\x40\xA4\xE5\x8E\x40\xC6\xA1", kBoth, true},
      {936, u"a\uE000\uE4C6", "a\xAA\xA1\xA1\x40", kBoth, true},
      {1252, u"café", "caf\xE9", kBoth, true},
      // The bytes Windows reads as C1 controls, in both directions.
      {1252, u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D", kBoth, true},
      {1250, u"\u0081\u0083\u0088\u0090\u0098", "\x81\x83\x88\x90\x98", kBoth, true},
      {65001, u"中", "\xE4\xB8\xAD", kBoth, true},
      // Box drawing: two Big5 codes each; Windows writes the second ones.
      {950, u"═╞╡╪", "\xF9\xF9\xF9\xE9\xF9\xEB\xF9\xEA", kBoth, true},
      {950, u"═╞", "\xA2\xA4\xA2\xA5", kFromBytes, true},
      // Look-alikes, and the default character for the rest.
      {950, u"é", "e", kToBytes, false},
      {950, u"a\u0E01b", "a?b", kToBytes, false},
      {1252, u"a中b", "a?b", kToBytes, false},
      {1252, u"āĉ", "ac", kToBytes, false},
      // Each half of a surrogate pair is a character without a code.
      {950, u"x🙂y", "x??y", kToBytes, false},
      {936, u"𠀋", "??", kToBytes, false},
      // A lead byte and a trail byte that make no character are one '?'; a
      // lead byte last, or before a NUL, is one alone.
      {950, u"?A", "\x81 A", kFromBytes, false},
      {936, u"?A",
       "\x81\x7F"
       "A",
       kFromBytes, false},
      {950, u"中?", "\xA4\xA4\xA4", kFromBytes, false},
      {950, std::u16string(u"?\0a", 3), std::string("\xA4\0a", 3), kFromBytes, false},
      // 0xFF is a private-use character's code, though read strictly it is
      // no character.
      {950, u"\uF8F8", "\xFF", kToBytes, true},
      {950, u"\uF8F8", "\xFF", kFromBytes, false},
      {936, u"\uF8F5", "\xFF", kFromBytes, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codePage << " " << test::hex(c.bytes));
    if (c.way != kFromBytes) {
      EXPECT_EQ(platform::toCodePage(c.codePage, c.text), c.bytes);
      std::string exact;
      EXPECT_EQ(platform::toCodePageExact(c.codePage, c.text, &exact), c.exact);
    }
    if (c.way != kToBytes) {
      EXPECT_EQ(platform::fromCodePage(c.codePage, c.bytes), c.text);
      std::u16string exact;
      EXPECT_EQ(platform::fromCodePageExact(c.codePage, c.bytes, &exact), c.exact);
    }
  }
}

// The upper half of every single-byte code page with a table, read and
// written back: a digest of what each byte reads as, whether it is a
// character, and the bytes and exactness of its character written back. The
// digests were taken from Windows' own conversion, so that the platforms
// agree byte for byte.
TEST(CodePage, SingleByteUpperHalvesConvertAsOnWindows) {
  const std::pair<int, uint64_t> pages[] = {
      {437, 0x06DEF55F0A09AE52},   {737, 0xD85BD3B69A8E24E6},   {775, 0xC0E95C9C450D6B5A},
      {850, 0x01ADF1F390E6A15C},   {852, 0x834100818D228863},   {855, 0x32A3D6F4AE760968},
      {857, 0xE4CDAA227A0A5CBC},   {860, 0x72750363BC306AB3},   {861, 0xED0FDA0C232010A7},
      {862, 0xEC057AE88276ED9C},   {863, 0x8CAF3E6529145EBB},   {864, 0xF22F0E71346331E7},
      {865, 0x51A055D9670E44BA},   {866, 0xC1952FCA29E0FCE1},   {869, 0x50E4ACFB10E2814F},
      {874, 0xDADE311C9409EAE7},   {1250, 0x7D6A277D7252754D},  {1251, 0x32393F6649E70943},
      {1252, 0x7D85A64CD3D82257},  {1253, 0xA59FD082BE62232F},  {1254, 0x23AC8A00F7A36379},
      {1255, 0x4B224F91D8FE6ECE},  {1256, 0x6B28E7F0D839AF00},  {1257, 0xEF63F75548236649},
      {1258, 0xB0BBCC35258AB04E},  {10000, 0x23286780FDC3FFE6}, {10007, 0x5750B0E5C010B2AF},
      {10029, 0xB8343B987495289A}, {20127, 0x6C0661A12AFED3E4}, {28591, 0xA92D672A94B90A25},
  };
  for (const auto& [codePage, digest] : pages) {
    uint64_t hash = 14695981039346656037u;
    auto add = [&hash](uint32_t value) { hash = (hash ^ value) * 1099511628211u; };
    std::u16string upper;
    for (int b = 0x80; b < 0x100; ++b) {
      const std::string byte(1, static_cast<char>(b));
      std::u16string text;
      add(platform::fromCodePageExact(codePage, byte, &text));
      text = platform::fromCodePage(codePage, byte);
      upper += text;
      for (char16_t unit : text) add(unit);
      std::string back;
      add(platform::toCodePageExact(codePage, text, &back));
      for (char c : platform::toCodePage(codePage, text)) add(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(hash, digest) << codePage << ": " << test::hex(platform::toUtf8(upper));
  }
}

#if defined(_WIN32)
// The tables the POSIX build converts with, against Windows' own
// conversion: every code unit, every byte and pair of bytes, and runs of
// random bytes.
TEST(CodePage, TablesAreWindowsOwn) {
  for (int codePage = 1; codePage < 65536; ++codePage) {
    const platform::CodePageTable* page = platform::CodePageTable::find(codePage);
    if (!page) continue;
    SCOPED_TRACE(codePage);
    const bool doubleByte = codePage == 950 || codePage == 936;
    int wrong = 0;
    for (int u = 0; u < 0x10000 && wrong < 5; ++u) {
      const std::u16string unit(1, static_cast<char16_t>(u));
      std::string ours, windows;
      const bool oursExact = page->encodeExact(unit, &ours);
      const bool windowsExact = platform::toCodePageExact(codePage, unit, &windows);
      if (page->encode(unit) != platform::toCodePage(codePage, unit) || oursExact != windowsExact ||
          (oursExact && ours != windows)) {
        ADD_FAILURE() << "U+" << std::hex << u;
        ++wrong;
      }
    }
    std::vector<std::string> inputs;
    for (int lead = 0; lead < 256; ++lead) {
      inputs.push_back(std::string(1, static_cast<char>(lead)));
      for (int trail = 0; doubleByte && trail < 256; ++trail) {
        inputs.push_back({static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
    uint32_t seed = 7;
    for (int i = 0; i < 2000; ++i) {
      std::string run(1 + i % 17, '\0');
      for (char& b : run) b = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
      inputs.push_back(run);
    }
    for (const std::string& bytes : inputs) {
      if (wrong >= 10) break;
      bool exact = true;
      std::u16string windows;
      const bool windowsExact = platform::fromCodePageExact(codePage, bytes, &windows);
      if (page->decode(bytes, &exact) != platform::fromCodePage(codePage, bytes) ||
          exact != windowsExact) {
        ADD_FAILURE() << test::hex(bytes);
        ++wrong;
      }
    }
  }
}
#endif

#if !defined(_WIN32)
// On Windows the system decides; ANSI_CODEPAGE means nothing there.
TEST(CodePage, UnsetFollowsTheLocaleOnPosix) {
  const char* const kVariables[] = {"ANSI_CODEPAGE", "LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* name : kVariables) {
    const char* value = std::getenv(name);
    saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
  }
  struct Case {
    const char *lcAll, *lcCtype, *lang;
    int codePage;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 950},
      {"C", nullptr, "ja_JP.UTF-8", 950},
      {"POSIX", nullptr, nullptr, 950},
      {"C.UTF-8", nullptr, nullptr, 950},
      {nullptr, nullptr, "zh_TW.UTF-8", 950},
      {nullptr, nullptr, "zh_HK.Big5-HKSCS", 950},
      {nullptr, nullptr, "zh_CN.UTF-8", 936},
      {nullptr, nullptr, "zh_SG", 936},
      {nullptr, nullptr, "ja_JP.eucJP", 932},
      {nullptr, nullptr, "ko_KR.UTF-8", 949},
      {nullptr, nullptr, "ru_RU.UTF-8", 1251},
      {nullptr, nullptr, "uk_UA", 1251},
      {nullptr, nullptr, "en_US.UTF-8", 1252},
      {nullptr, nullptr, "de_DE@euro", 1252},
      {nullptr, nullptr, "pl_PL.UTF-8", 1250},
      {nullptr, nullptr, "sr_RS@latin", 1250},
      {nullptr, nullptr, "el_GR.UTF-8", 1253},
      {nullptr, "ko_KR.UTF-8", "en_US.UTF-8", 949},   // LC_CTYPE before LANG
      {"ru_RU.UTF-8", "ko_KR.UTF-8", "en_US", 1251},  // LC_ALL before both
      {"", "", "ja_JP", 932},                         // empty is unset
  };
  ::unsetenv("ANSI_CODEPAGE");
  for (const Case& c : cases) {
    const char* values[] = {c.lcAll, c.lcCtype, c.lang};
    for (int i = 0; i < 3; ++i) {
      if (values[i]) {
        ::setenv(kVariables[i + 1], values[i], 1);
      } else {
        ::unsetenv(kVariables[i + 1]);
      }
    }
    EXPECT_EQ(platform::ansiCodePage(), c.codePage)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lcCtype ? c.lcCtype : "-") << " "
        << (c.lang ? c.lang : "-");
  }
  ::setenv("ANSI_CODEPAGE", "1252", 1);  // the variable before the locale
  EXPECT_EQ(platform::ansiCodePage(), 1252);
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved[i]) {
      ::setenv(kVariables[i], saved[i]->c_str(), 1);
    } else {
      ::unsetenv(kVariables[i]);
    }
  }
}
#endif

TEST(CodePage, ComparisonFoldsAsciiOnlyAndNeverATrailByte) {
  test::ScopedCodePage cp(test::chineseCodePage());
  ASSERT_TRUE(cp.active());
  EXPECT_EQ(platform::compareIgnoringCase("abc", "ABC"), 0);
  EXPECT_NE(platform::compareIgnoringCase("abc", "abd"), 0);
  // Big5 A4 61 and A4 41: same lead byte, trail bytes 'a' and 'A'.
  EXPECT_NE(platform::compareIgnoringCase("\xA4\x61", "\xA4\x41"), 0);
  EXPECT_NE(platform::compareIgnoringCase("ab", "abc"), 0);
  if (test::ScopedCodePage latin("1252"); latin.active()) {
    EXPECT_EQ(platform::compareIgnoringCase("\xA4\x61", "\xA4\x41"), 0);
  }
}

TEST(CodePage, ClippingNeverSplitsADoubleByteCharacter) {
  test::ScopedCodePage cp(test::chineseCodePage());
  ASSERT_TRUE(cp.active());
  EXPECT_EQ(platform::clipToCharacters("a\xA4\xA4", 2), 1u);
  EXPECT_EQ(platform::clipToCharacters("a\xA4\xA4", 3), 3u);
  EXPECT_EQ(platform::clipToCharacters("abc", 10), 3u);
}

// Windows' simple case mapping, on every platform: beyond ASCII, but not
// the letters Unicode maps and Windows leaves (µ ς ǅ ı İ).
TEST(CaseMapping, FollowsWindows) {
  EXPECT_EQ(platform::toUpperWide(u"abc_é中ａÿ"), u"ABC_É中ＡŸ");
  EXPECT_EQ(platform::toLowerWide(u"PARTS.DBF ÄＡ"), u"parts.dbf äａ");
  EXPECT_EQ(platform::toUpperWide(u"µςǅıİ"), u"µςǅıİ");
  EXPECT_EQ(platform::toLowerWide(u"µςǅıİ"), u"µςǅıİ");
}

#if defined(_WIN32)
TEST(CaseMapping, TablesAreWindowsOwn) {
  for (int u = 0; u < 0x10000; ++u) {
    const std::u16string unit(1, static_cast<char16_t>(u));
    ASSERT_EQ(platform::toUpperWide(unit)[0], platform::windowsUpper(unit[0])) << std::hex << u;
    ASSERT_EQ(platform::toLowerWide(unit)[0], platform::windowsLower(unit[0])) << std::hex << u;
  }
}
#endif

TEST(SplitPath, GivesTheFourPartsOfWsplitpath) {
  struct Case {
    std::u16string path, drive, dir, name, ext;
  };
  const Case cases[] = {
      {u"C:\\dwg\\*.dwg", u"C:", u"\\dwg\\", u"*", u".dwg"},
      {u"C:a.b.c", u"C:", u"", u"a.b", u".c"},
      {u"dir/sub\\file", u"", u"dir/sub\\", u"file", u""},
      {u"*.txt", u"", u"", u"*", u".txt"},
      {u"lib", u"", u"", u"lib", u""},
      {u"x\\.hidden", u"", u"x\\", u"", u".hidden"},
      {u"", u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    platform::PathParts parts = platform::splitPath(c.path);
    EXPECT_EQ(parts.drive, c.drive) << test::utf8(c.path);
    EXPECT_EQ(parts.dir, c.dir) << test::utf8(c.path);
    EXPECT_EQ(parts.name, c.name) << test::utf8(c.path);
    EXPECT_EQ(parts.ext, c.ext) << test::utf8(c.path);
  }
}

TEST(ReservedName, DevicesAndStreamsAreNoFiles) {
  struct Case {
    std::u16string path;
    bool reserved;
  };
  const Case cases[] = {
      {u"aux.txt", true},
      {u"NUL", true},
      {u"backup\\com1.lsp", true},
      {u"CON.dwg", true},
      {u"Con.log", true},
      {u"con .slb", true},
      {u"lpt9", true},
      {u"COM²", true},
      {u"con\\x.txt", true},
      {u"a.txt:stream", true},
      {u"dir:x\\b.txt", true},
      {u"C:a:b", true},
      {u"C:\\dwg\\con2.txt", false},
      {u"com10", false},
      {u"console.lsp", false},
      {u"ｃｏｎ.txt", false},
      {u"c:b.txt", false},
      {u"x.aux", false},
      {u"com0", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::isReservedName(c.path), c.reserved) << test::utf8(c.path);
  }
}

TEST(ExtendedLengthPath, TakesTheFormThatPassesMaxPath) {
  EXPECT_EQ(platform::extendedLengthPath(u"C:\\dwg\\a.dwg"), u"\\\\?\\C:\\dwg\\a.dwg");
  EXPECT_EQ(platform::extendedLengthPath(u"C:/dwg/a.dwg"), u"\\\\?\\C:\\dwg\\a.dwg");
  EXPECT_EQ(platform::extendedLengthPath(u"\\\\srv\\share\\a"), u"\\\\?\\UNC\\srv\\share\\a");
  EXPECT_EQ(platform::extendedLengthPath(u"\\\\?\\C:\\a"), u"\\\\?\\C:\\a");
  EXPECT_EQ(platform::extendedLengthPath(u"\\\\.\\pipe\\x"), u"\\\\.\\pipe\\x");
}

TEST(Pattern, MatchesAsTheWindowsSearchDoes) {
  struct Case {
    std::u16string pattern, name;
    bool matches;
  };
  const Case cases[] = {
      {u"*.*", u"noextension", true},
      {u"*.*", u".", true},
      {u"*", u"a.b", true},
      {u"*.dwg", u"X.DWG", true},
      {u"*.dwg", u"x.dwgx", false},
      {u"?.txt", u"a.txt", true},
      {u"?.txt", u"ab.txt", false},
      {u"x.dwg", u"X.dwg", true},
      {u"a*b*c", u"aXbYc", true},
      {u"a*b*c", u"aXbY", false},
      {u"x.*", u"x", true},
      {u"*.", u"noext", true},
      {u"*.", u"has.ext", false},
      // Long names only, letters folded as Windows folds them.
      {u"*.dw?", u"plan.dwg1", false},
      {u"Ａ*.dwg", u"ａｂｃ.DWG", true},
      {u"µ*", u"Μ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::matchesPattern(c.pattern, c.name), c.matches)
        << test::utf8(c.pattern) << " vs " << test::utf8(c.name);
  }
}

#if !defined(_WIN32)
// Name resolution, links and permission bits of the POSIX file services.
class PosixFilesTest : public test::TempDirTest {};

bool there(Env& env, std::u16string_view path) {
  platform::FileInfo info;
  return env.fileInfo(path, &info).ok();
}

TEST_F(PosixFilesTest, NamesResolveIgnoringCaseWithBackslashesAndDrives) {
  std::filesystem::create_directories("Data/Sub");
  test::writeFile("Data/Sub/Parts.DBF", "x");
  Env& env = *Env::defaultEnv();
  EXPECT_TRUE(there(env, u"data\\sub\\parts.dbf"));
  EXPECT_TRUE(there(env, u"C:DATA/SUB/PARTS.dbf"));
  platform::FileInfo info;
  EXPECT_EQ(env.fileInfo(u"data\\sub\\missing.dbf", &info).kind(), ErrorKind::kNotFound);
  // Beyond ASCII, names compare by the simple Unicode case mapping.
  test::writeFile("零件ａ.dbf", "x");
  test::writeFile("ärger.dbf", "x");
  EXPECT_TRUE(there(env, u"零件Ａ.DBF"));
  EXPECT_TRUE(there(env, u"ÄRGER.dbf"));
  // Trailing dots and blanks are ignored, and names Windows refuses are
  // refused, as on Windows.
  EXPECT_TRUE(there(env, u"data/sub/parts.dbf. "));
  // "." and ".." are resolved by the path's text, as Windows resolves them:
  // through a folder that does not exist, or through a file.
  EXPECT_TRUE(there(env, u"nowhere\\..\\data\\.\\sub\\parts.dbf"));
  EXPECT_TRUE(there(env, u"data/sub/parts.dbf/../parts.dbf"));
  EXPECT_TRUE(env.linkFile(u"data/sub/parts.dbf", u"tmp\\..\\copy.dbf").ok());
  EXPECT_TRUE(std::filesystem::exists("copy.dbf"));
  EXPECT_EQ(env.fileInfo(u"data/sub/*.dbf", &info).kind(), ErrorKind::kInvalidName);
  EXPECT_EQ(env.linkFile(u"data/sub/parts.dbf", u"a<b").kind(), ErrorKind::kInvalidName);
  // An exact match wins over a case-insensitive one.
  test::writeFile("Data/Sub/parts.dbf", "exact");
  std::unique_ptr<platform::File> file;
  ASSERT_TRUE(env.openFile(u"Data/Sub/parts.dbf", platform::OpenMode::kRead, &file).ok());
  uint64_t size = 0;
  EXPECT_TRUE(file->size(&size).ok());
  EXPECT_EQ(size, 5u);
}

// Within a call the names of a folder are read once, but every name the
// Env makes, renames or removes is seen at once.
TEST_F(PosixFilesTest, NameCacheSeesEveryChangeTheEnvMakes) {
  Env& env = *Env::defaultEnv();
  const platform::NameCache names;
  EXPECT_FALSE(there(env, u"NEW.TXT"));
  ASSERT_TRUE(platform::writeNewFile(env, u"new.txt", "x").ok());
  EXPECT_TRUE(there(env, u"NEW.TXT"));
  ASSERT_TRUE(env.renameReplacing(u"New.txt", u"moved.txt").ok());
  EXPECT_FALSE(there(env, u"NEW.TXT"));
  EXPECT_TRUE(there(env, u"MOVED.TXT"));
  ASSERT_TRUE(env.createDirectory(u"Folder").ok());
  EXPECT_TRUE(there(env, u"FOLDER"));
  ASSERT_TRUE(env.linkFile(u"moved.txt", u"Second.txt").ok());
  EXPECT_TRUE(there(env, u"SECOND.TXT"));
  std::unique_ptr<platform::NameLock> lock;
  ASSERT_TRUE(env.lockName(u"moved.txt", 0, &lock).ok());
  EXPECT_TRUE(there(env, u"~MOVED.TXT.LOCK"));
  lock.reset();
  EXPECT_FALSE(there(env, u"~MOVED.TXT.LOCK"));
  ASSERT_TRUE(platform::deleteFile(env, u"MOVED.txt").ok());
  EXPECT_FALSE(there(env, u"moved.TXT"));
}

TEST_F(PosixFilesTest, FindFilesSortsByNameAndMarksDirectoriesAndLinks) {
  std::filesystem::create_directories("d/sub");
  test::writeFile("d/b.txt", "bb");
  test::writeFile("d/a.TXT", "a");
  std::filesystem::create_directory_symlink("..", "d/up");
  std::vector<platform::DirEntry> entries;
  Env& env = *Env::defaultEnv();
  ASSERT_TRUE(platform::findFiles(env, u"d\\*.*", true, &entries).ok());
  std::vector<std::u16string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"a.TXT", u"b.txt", u"sub", u"up"}));
  EXPECT_EQ(entries[3].size, 2u);
  EXPECT_TRUE(entries[4].isDirectory);
  EXPECT_TRUE(entries[5].isDirectory && entries[5].isLink);
  EXPECT_TRUE(platform::findFiles(env, u"d/*.txt", true, &entries).ok());
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(platform::findFiles(env, u"d/*.none", true, &entries).kind(), ErrorKind::kNotFound);
  EXPECT_EQ(platform::findFiles(env, u"missing/*.*", true, &entries).kind(), ErrorKind::kNotFound);
}

TEST_F(PosixFilesTest, DirectoriesAreNotOpenedAsFiles) {
  std::filesystem::create_directory("folder");
  std::unique_ptr<platform::File> file;
  EXPECT_EQ(Env::defaultEnv()->openFile(u"folder", platform::OpenMode::kRead, &file).kind(),
            ErrorKind::kAccessDenied);
  EXPECT_EQ(Env::defaultEnv()->removeFile(u"folder").kind(), ErrorKind::kAccessDenied);
}

#endif

class FileServicesTest : public test::TempDirTest {};

// An empty name is not there, whatever failure the system saw last.
TEST_F(FileServicesTest, EmptyNameIsNotFoundWithItsOwnCause) {
  Env& env = *Env::defaultEnv();
#if defined(_WIN32)
  SetLastError(ERROR_ACCESS_DENIED);
#else
  errno = EACCES;
#endif
  platform::FileInfo info;
  EXPECT_EQ(env.fileInfo(u"", &info).kind(), ErrorKind::kNotFound);
}

// MemEnv stands in for the platform's own Env in the engine tests: the same
// primitives must give the same answers on both.
TEST_F(FileServicesTest, MemEnvAnswersAsThePlatformDoes) {
  auto steps = [](Env& env, bool memory) {
    std::vector<std::string> log;
    auto note = [&](const std::string& what, const platform::Status& s) {
      log.push_back(what + ": " + std::to_string(static_cast<int>(s.kind())));
    };
    if (memory) {
      static_cast<platform::MemEnv&>(env).addDirectory(u"dir");
      note("make folder", platform::Status());
    } else {
      note("make folder", env.createDirectory(u"dir"));
    }
    std::unique_ptr<platform::File> file;
    note("create", env.openFile(u"dir\\a.txt", platform::OpenMode::kCreateNew, &file));
    if (file) {
      note("write", file->write(0, "abc", 3));
      note("close", file->close());
    }
    note("create again", env.openFile(u"DIR\\A.TXT", platform::OpenMode::kCreateNew, &file));
    note("link", env.linkFile(u"dir\\a.txt", u"dir\\B.TXT"));
    note("link again", env.linkFile(u"dir\\a.txt", u"dir\\b.txt"));
    note("rename onto a name", env.renameNoReplace(u"dir\\a.txt", u"DIR\\b.txt"));
    note("rename over a name", env.renameReplacing(u"dir\\a.txt", u"DIR\\c.txt"));
    note("rename nothing", env.renameNoReplace(u"nothing", u"y.txt"));
    note("remove a folder", env.removeFile(u"dir"));
    note("make it again", env.createDirectory(u"DIR"));
    for (const char16_t* pattern : {u"dir\\*.txt", u"DIR/B*", u"dir\\*.dwg", u"none\\*"}) {
      std::vector<platform::DirEntry> entries;
      note(test::utf8(pattern), platform::findFiles(env, pattern, true, &entries));
      for (const auto& e : entries)
        log.push_back(test::utf8(e.name) + " " + std::to_string(e.size));
    }
    platform::FileInfo info;
    note("stat", env.fileInfo(u"dir/c.txt", &info));
    log.push_back("links " + std::to_string(info.links));
    char buffer[8];
    note("open", env.openFile(u"dir\\b.txt", platform::OpenMode::kRead, &file));
    const platform::Status s = platform::readExactly(*file, 1, buffer, 5);
    note("read past the end", s);
    log.push_back(s.toString().substr(0, s.toString().find(" from")));
    return log;
  };
  platform::MemEnv memory;
  EXPECT_EQ(steps(memory, true), steps(*Env::defaultEnv(), false));
}

// A lock belongs to its handle: a second handle of the same file, even in
// this process, is kept out until the first is closed; and a name's lock
// keeps out every other holder of the name, whether a file has it or not.
// On the disk and in memory alike.
TEST_F(FileServicesTest, LocksExcludeEveryOtherHolderUntilReleased) {
  test::writeFile("t.dbf", "table");
  platform::MemEnv memory;
  memory.addFile(u"t.dbf", "table");
  for (Env* env : {Env::defaultEnv(), static_cast<Env*>(&memory)}) {
    std::unique_ptr<platform::File> first, second;
    ASSERT_TRUE(env->openFile(u"t.dbf", platform::OpenMode::kReadWrite, &first).ok());
    ASSERT_TRUE(env->openFile(u"t.dbf", platform::OpenMode::kReadWrite, &second).ok());
    ASSERT_TRUE(first->lock(uint64_t{1} << 62, 1, 100).ok());
    EXPECT_EQ(second->lock(uint64_t{1} << 62, 1, 50).kind(), ErrorKind::kBusy);
    ASSERT_TRUE(first->close().ok());
    EXPECT_TRUE(second->lock(uint64_t{1} << 62, 1, 100).ok());
    for (const char16_t* name : {u"t.dbf", u"missing.slb"}) {
      std::unique_ptr<platform::NameLock> held, other;
      ASSERT_TRUE(env->lockName(name, 100, &held).ok());
      EXPECT_EQ(env->lockName(name, 50, &other).kind(), ErrorKind::kBusy);
      held.reset();
      EXPECT_TRUE(env->lockName(name, 100, &other).ok());
    }
  }
  // The lock files of names leave nothing behind.
  EXPECT_EQ(test::filesHere(), std::vector<std::string>{"t.dbf"});
}

TEST(Utf8, RoundTripsAndReplacesInvalidSequences) {
  EXPECT_EQ(platform::fromUtf8("a\xE4\xB8\xAD\xF0\x9F\x98\x80"), u"a中\U0001F600");
  EXPECT_EQ(platform::toUtf8(u"a中\U0001F600"), "a\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(platform::fromUtf8("\xFF"
                               "a\xE4\xB8"),
            u"\uFFFDa\uFFFD\uFFFD");
}

}  // namespace
