// Writes the tables of Windows' own conversion for a code page (the
// double-byte 950 and 936, and the single-byte ones) as C++ data, read from
// MultiByteToWideChar and WideCharToMultiByte, or ("case") its case mapping,
// read from CharUpperBuffW and CharLowerBuffW. Built with MinGW and run
// under Wine (or on Windows) by make_tables.sh; the POSIX platform converts
// and maps with what it writes.
//
// The tables: what each single byte reads as, and whether it is a character;
// for a double-byte code page, what each lead byte (0x81-0xFE) and trail byte
// (0x40-0xFE) read as, 0 where the pair is no character; and the code units
// whose encoding is not simply the code that reads as them (best-fit
// look-alikes, and the one code chosen where two read as the same
// character).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40, kLastTrail = 0xFE;

bool decodeOne(UINT cp, const char* bytes, int n, wchar_t* unit) {
  wchar_t out[4];
  if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes, n, out, 4) != 1) return false;
  *unit = out[0];
  return true;
}

// The code units each of Windows' case mappings changes, with what it makes
// of them: {unit, mapped}.
void writeCaseTables(FILE* out) {
  std::fprintf(out, "// Windows' case mapping, written by make_tables.sh: do not edit.\n");
  for (bool upper : {true, false}) {
    std::fprintf(out, "constexpr CaseChange k%s[] = {", upper ? "Upper" : "Lower");
    int n = 0;
    for (int u = 0; u < 65536; ++u) {
      wchar_t unit = static_cast<wchar_t>(u);
      if (upper) {
        CharUpperBuffW(&unit, 1);
      } else {
        CharLowerBuffW(&unit, 1);
      }
      if (unit == u) continue;
      std::fprintf(out, "%s{0x%04X, 0x%04X},", n++ % 4 ? " " : "\n    ", u, unit);
    }
    std::fprintf(out, "\n};\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_tables CODEPAGE|case OUT.inc\n");
    return 2;
  }
  FILE* out = std::fopen(argv[2], "w");
  if (!out) return 1;
  if (std::string(argv[1]) == "case") {
    writeCaseTables(out);
    return std::fclose(out) == 0 ? 0 : 1;
  }
  const UINT cp = static_cast<UINT>(std::atoi(argv[1]));
  CPINFO info;
  if (!GetCPInfo(cp, &info) || info.MaxCharSize > 2) {
    std::fprintf(stderr, "code page %u: not known here, or neither single- nor double-byte\n", cp);
    return 1;
  }
  const bool doubleByte = info.MaxCharSize == 2;
  std::vector<int> reads(65536, -1);  // the first code, in code order, reading as each unit
  std::fprintf(out,
               "// Windows' conversion for code page %u, written by make_tables.sh: do not\n"
               "// edit.\n",
               cp);

  std::fprintf(out, "constexpr char16_t kSingle%u[256] = {", cp);
  unsigned valid[8] = {};
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t unit = 0;
    const bool character = !(doubleByte && IsDBCSLeadByteEx(cp, static_cast<BYTE>(b))) &&
                           decodeOne(cp, &byte, 1, &unit);
    if (!character) {
      wchar_t loose[4] = {};
      MultiByteToWideChar(cp, 0, &byte, 1, loose, 4);
      unit = loose[0];
    } else {
      valid[b / 32] |= 1u << (b % 32);
      if (reads[unit] < 0) reads[unit] = b;
    }
    std::fprintf(out, "%s0x%04X,", b % 8 ? " " : "\n    ", unit);
  }
  std::fprintf(out, "\n};\nconstexpr uint32_t kSingleValid%u[8] = {", cp);
  for (int i = 0; i < 8; ++i) std::fprintf(out, "%s0x%08X", i ? ", " : "", valid[i]);
  std::fprintf(out, "};\n");

  if (doubleByte) {
    std::fprintf(out, "constexpr char16_t kPair%u[%d][%d] = {\n", cp, kLastLead - kFirstLead + 1,
                 kLastTrail - kFirstTrail + 1);
  }
  for (int lead = kFirstLead; doubleByte && lead <= kLastLead; ++lead) {
    std::fprintf(out, "    {");
    for (int trail = kFirstTrail; trail <= kLastTrail; ++trail) {
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      wchar_t unit = 0;
      if (decodeOne(cp, bytes, 2, &unit)) {
        if (reads[unit] < 0) reads[unit] = lead << 8 | trail;
      } else {
        unit = 0;
      }
      const int i = trail - kFirstTrail;
      std::fprintf(out, "%s0x%04X,", i == 0 ? "" : i % 8 ? " " : "\n     ", unit);
    }
    std::fprintf(out, "},\n");
  }
  if (doubleByte) std::fprintf(out, "};\n");

  std::fprintf(out, "constexpr CodeChoice kChoice%u[] = {", cp);
  int n = 0;
  for (int u = 0; u < 65536; ++u) {
    const wchar_t unit = static_cast<wchar_t>(u);
    unsigned char bytes[4];
    const int length =
        WideCharToMultiByte(cp, 0, &unit, 1, reinterpret_cast<char*>(bytes), 4, nullptr, nullptr);
    const int code = length == 2 ? bytes[0] << 8 | bytes[1] : length == 1 ? bytes[0] : -1;
    if (code < 0) {
      std::fprintf(stderr, "U+%04X: no encoding\n", u);
      return 1;
    }
    // Units that read back by their code, or become '?' for want of one,
    // need no entry.
    if (code == reads[u] || (reads[u] < 0 && code == '?')) continue;
    std::fprintf(out, "%s{0x%04X, 0x%04X},", n++ % 4 ? " " : "\n    ", u, code);
  }
  std::fprintf(out, "\n};\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
