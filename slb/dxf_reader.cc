#include "slb/dxf_reader.h"

#include <charconv>
#include <cmath>
#include <cstring>

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

// Reads the LAYER entries of the TABLES section from groups[i], up to its
// ENDSEC.
void readLayers(DxfDrawing* d, size_t i, size_t end) {
  const std::vector<DxfGroup>& g = d->groups;
  while (i < end) {
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
    *fault = {0, "a binary DXF file, which is not read (save the drawing as ASCII DXF)"};
    return false;
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
