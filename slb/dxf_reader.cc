#include "slb/dxf_reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace {

constexpr char kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";

std::string_view trimmed(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

bool groupCode(std::string_view text, int* code) {
  text = trimmed(text);
  if (text.empty() || text.size() > 6) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *code);
  return ec == std::errc() && end == text.data() + text.size() && *code >= -5 && *code <= 1071;
}

// Splits the text into groups; false with *fault.
bool splitGroups(DxfDrawing* d, DxfFault* fault) {
  const std::string_view text = d->text;
  size_t at = 0, line = 0;
  auto nextLine = [&](std::string_view* out) {
    if (at >= text.size()) return false;
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    *out = text.substr(at, end - at);
    if (!out->empty() && out->back() == '\r') out->remove_suffix(1);
    at = end + 1;
    ++line;
    return true;
  };
  std::string_view codeLine, value;
  while (nextLine(&codeLine)) {
    DxfGroup g;
    g.line = line;
    if (!groupCode(codeLine, &g.code)) {
      if (trimmed(codeLine).empty() && at >= text.size()) break;  // a last empty line
      *fault = {line, "a group code, a whole number, is expected here"};
      return false;
    }
    if (!nextLine(&value)) {
      *fault = {line, "the file ends before the value of group " + std::to_string(g.code)};
      return false;
    }
    g.value = g.code == 0 || g.code == 2 || g.code == 8 ? trimmed(value) : value;
    d->groups.push_back(g);
  }
  return true;
}

// Reads the LAYER and STYLE entries of the TABLES section from groups[i],
// up to its ENDSEC.
void readLayers(DxfDrawing* d, size_t i, size_t end) {
  const std::vector<DxfGroup>& g = d->groups;
  while (i < end) {
    if (g[i].code == 0 && g[i].value == "STYLE") {
      std::string name;
      std::string_view font;
      for (++i; i < end && g[i].code != 0; ++i) {
        if (g[i].code == 2) name = dxfName(g[i].value);
        if (g[i].code == 3) font = g[i].value;
      }
      if (!name.empty()) d->styleFonts[name] = font;
      continue;
    }
    if (!(g[i].code == 0 && g[i].value == "LAYER")) {
      ++i;
      continue;
    }
    std::string name;
    DxfLayer layer;
    for (++i; i < end && g[i].code != 0; ++i) {
      double n = 0;
      if (g[i].code == 2) name = dxfName(g[i].value);
      if (g[i].code == 62 && dxfNumber(g[i].value, &n)) {
        layer.colour = static_cast<int>(std::fabs(n));
        layer.off = n < 0;
      }
      if (g[i].code == 70 && dxfNumber(g[i].value, &n))
        layer.frozen = (static_cast<long>(n) & 1) != 0;
    }
    if (!name.empty()) d->layers[name] = layer;
  }
}

// The entities from groups[i] up to the next 0 group of one of `ends`.
size_t readEntities(DxfDrawing* d, size_t i, size_t end, std::vector<DxfEntity>* out,
                    std::string_view stop) {
  const std::vector<DxfGroup>& g = d->groups;
  while (i < end && !(g[i].code == 0 && g[i].value == stop)) {
    DxfEntity e;
    e.type = g[i].value;
    e.line = g[i].line;
    e.first = ++i;
    while (i < end && g[i].code != 0) ++i;
    e.count = i - e.first;
    out->push_back(e);
  }
  return i;
}

// What follows a group code in a binary DXF file.
enum class Binary { kText, kDouble, kInt16, kInt32, kInt64, kBool, kChunk };

Binary binaryType(int code) {
  if ((code >= 10 && code <= 59) || (code >= 110 && code <= 149) || (code >= 210 && code <= 239) ||
      (code >= 460 && code <= 469) || (code >= 1010 && code <= 1059)) {
    return Binary::kDouble;
  }
  if ((code >= 60 && code <= 79) || (code >= 170 && code <= 179) || (code >= 270 && code <= 289) ||
      (code >= 370 && code <= 389) || (code >= 400 && code <= 409) ||
      (code >= 1060 && code <= 1070)) {
    return Binary::kInt16;
  }
  if ((code >= 90 && code <= 99) || (code >= 420 && code <= 429) || (code >= 440 && code <= 459) ||
      code == 1071) {
    return Binary::kInt32;
  }
  if (code >= 160 && code <= 169) return Binary::kInt64;
  if (code >= 290 && code <= 299) return Binary::kBool;
  if ((code >= 310 && code <= 319) || code == 1004) return Binary::kChunk;
  return Binary::kText;
}

// A binary DXF file as the text of an ASCII one, each group's offset kept
// in *offsets; false with *fault at the offset of a group cut short.
bool binaryToText(std::string_view bytes, std::string* text, std::vector<uint64_t>* offsets,
                  DxfFault* fault) {
  size_t at = sizeof kBinarySentinel;  // the sentinel and its NUL
  // Release 12 writes a code in one byte (255 and two more for larger
  // ones), later releases in two: the first group, 0 SECTION, tells.
  const bool wideCodes = bytes.size() > at + 1 && bytes[at] == 0 && bytes[at + 1] == 0;
  auto cut = [&](size_t offset, const std::string& what) {
    *fault = {0, what, true, offset};
    return false;
  };
  auto little = [&](size_t n) {
    uint64_t v = 0;
    for (size_t k = n; k-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
    at += n;
    return v;
  };
  while (at < bytes.size()) {
    const size_t start = at;
    int code = 0;
    if (wideCodes) {
      if (bytes.size() - at < 2) return cut(start, "a group code cut short");
      code = static_cast<int16_t>(little(2));
    } else {
      code = static_cast<unsigned char>(bytes[at++]);
      if (code == 255) {
        if (bytes.size() - at < 2) return cut(start, "a group code cut short");
        code = static_cast<int16_t>(little(2));
      }
    }
    offsets->push_back(start);
    std::string value;
    const Binary type = binaryType(code);
    const size_t need = type == Binary::kDouble || type == Binary::kInt64 ? 8
                        : type == Binary::kInt32                          ? 4
                        : type == Binary::kInt16                          ? 2
                        : type == Binary::kBool || type == Binary::kChunk ? 1
                                                                          : 0;
    if (bytes.size() - at < need) {
      return cut(start, "the value of group " + std::to_string(code) + " is cut short");
    }
    if (type == Binary::kText) {
      const size_t end = bytes.find('\0', at);
      if (end == std::string_view::npos) {
        return cut(start, "the text of group " + std::to_string(code) + " does not end");
      }
      value.assign(bytes.substr(at, end - at));
      for (char& c : value) {
        if (c == '\n' || c == '\r') c = ' ';
      }
      at = end + 1;
    } else if (type == Binary::kDouble) {
      const uint64_t bits = little(8);
      double d = 0;
      std::memcpy(&d, &bits, sizeof d);
      char number[32];
      const auto [end, ec] = std::to_chars(number, number + sizeof number, d);
      value.assign(number, ec == std::errc() ? end : number);
    } else if (type == Binary::kInt16) {
      value = std::to_string(static_cast<int16_t>(little(2)));
    } else if (type == Binary::kInt32) {
      value = std::to_string(static_cast<int32_t>(little(4)));
    } else if (type == Binary::kInt64) {
      value = std::to_string(static_cast<int64_t>(little(8)));
    } else if (type == Binary::kBool) {
      value = std::to_string(little(1));
    } else {  // a chunk of bytes, as hexadecimal
      const size_t length = static_cast<unsigned char>(bytes[at++]);
      if (bytes.size() - at < length) return cut(start, "a chunk of bytes cut short");
      static const char kHex[] = "0123456789ABCDEF";
      for (size_t k = 0; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(bytes[at + k]);
        value += kHex[c >> 4];
        value += kHex[c & 15];
      }
      at += length;
    }
    *text += std::to_string(code) + "\n" + value + "\n";
  }
  return true;
}

}  // namespace

std::string dxfName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool dxfNumber(std::string_view value, double* number) {
  value = trimmed(value);
  if (!value.empty() && value[0] == '+') value.remove_prefix(1);
  if (value.empty()) return false;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), *number);
  return ec == std::errc() && end == value.data() + value.size() && std::isfinite(*number);
}

bool looksLikeDxf(std::string_view bytes) {
  if (bytes.substr(0, sizeof kBinarySentinel - 1) == kBinarySentinel) return true;
  const size_t end = bytes.find('\n');
  int code = 0;
  std::string_view first = bytes.substr(0, end);
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  return end != std::string_view::npos && groupCode(first, &code);
}

bool readDxf(std::string bytes, DxfDrawing* d, DxfFault* fault) {
  *d = DxfDrawing();
  d->text = std::move(bytes);
  if (std::string_view(d->text).substr(0, sizeof kBinarySentinel - 1) == kBinarySentinel) {
    std::string text;
    if (!binaryToText(d->text, &text, &d->binaryOffsets, fault)) return false;
    d->text = std::move(text);
  }
  if (!splitGroups(d, fault)) return false;
  const std::vector<DxfGroup>& g = d->groups;
  const size_t n = g.size();
  bool ended = false;
  for (size_t i = 0; i < n;) {
    if (g[i].code == 0 && g[i].value == "EOF") {
      ended = true;
      break;
    }
    if (g[i].code == 999) {  // a comment
      ++i;
      continue;
    }
    if (!(g[i].code == 0 && g[i].value == "SECTION") || i + 1 >= n || g[i + 1].code != 2) {
      *fault = {g[i].line, "a section (0 SECTION, 2 NAME) is expected here"};
      return false;
    }
    const std::string_view name = g[i + 1].value;
    const size_t start = i + 2;
    size_t end = start;
    while (end < n && !(g[end].code == 0 && g[end].value == "ENDSEC")) ++end;
    if (end == n) {
      *fault = {g[i].line, "the section " + std::string(name) + " does not end (no 0 ENDSEC)"};
      return false;
    }
    if (name == "HEADER") {
      for (size_t k = start; k + 1 < end; ++k) {
        if (g[k].code != 9) continue;
        if (g[k].value == "$ACADVER" && g[k + 1].code == 1) d->version = g[k + 1].value;
        if (g[k].value == "$DWGCODEPAGE" && g[k + 1].code == 3) d->codePage = g[k + 1].value;
      }
    }
    if (name == "TABLES") readLayers(d, start, end);
    if (name == "ENTITIES") readEntities(d, start, end, &d->entities, "ENDSEC");
    if (name == "BLOCKS") {
      for (size_t k = start; k < end;) {
        if (!(g[k].code == 0 && g[k].value == "BLOCK")) {
          ++k;
          continue;
        }
        const size_t blockLine = g[k].line;
        std::string blockName;
        DxfBlock block;
        for (++k; k < end && g[k].code != 0; ++k) {
          if (g[k].code == 2) blockName = dxfName(g[k].value);
          if (g[k].code == 10) dxfNumber(g[k].value, &block.baseX);
          if (g[k].code == 20) dxfNumber(g[k].value, &block.baseY);
        }
        k = readEntities(d, k, end, &block.entities, "ENDBLK");
        if (k == end) {
          *fault = {blockLine, "the block " + blockName + " does not end (no 0 ENDBLK)"};
          return false;
        }
        d->blocks[blockName] = std::move(block);
      }
    }
    i = end + 1;
  }
  if (!ended) {
    *fault = {g.empty() ? 0 : g.back().line + 1, "the file ends without 0 EOF: it is cut short"};
    return false;
  }
  return true;
}

std::string dxfPlace(const DxfDrawing& drawing, const DxfFault& fault) {
  if (fault.atOffset) return ":" + std::to_string(fault.offset);
  if (fault.line == 0) return "";
  if (drawing.binaryOffsets.empty()) return ":" + std::to_string(fault.line);
  const size_t group = (fault.line - 1) / 2;
  return ":" + std::to_string(group < drawing.binaryOffsets.size() ? drawing.binaryOffsets[group]
                                                                   : drawing.binaryOffsets.back());
}

int dxfCodePage(const DxfDrawing& drawing) {
  // Releases are AC1009 (R12) ... AC1018 (2004), AC1021 (2007) ...
  if (drawing.version.size() == 6 && drawing.version.starts_with("AC") &&
      drawing.version.substr(2) >= "1021") {
    return 65001;
  }
  std::string_view name = drawing.codePage;
  if (name.size() > 5 && (name.substr(0, 5) == "ANSI_" || name.substr(0, 5) == "ansi_")) {
    int number = 0;
    bool digits = true;
    for (char c : name.substr(5)) {
      digits = digits && c >= '0' && c <= '9' && number < 100000;
      if (digits) number = number * 10 + (c - '0');
    }
    if (digits && platform::codePageAvailable(number)) return number;
  }
  return platform::ansiCodePage();
}
