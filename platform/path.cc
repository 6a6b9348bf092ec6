#include "platform/path.h"

#include <algorithm>

#include "platform/case_map.h"
#include "platform/env.h"
#include "platform/text.h"

namespace platform {
namespace {

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Glob match with '*' (any run) and '?' (any one character); letters are
// compared by Windows' simple case mapping, as NTFS compares names.
bool globMatch(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || windowsUpper(pattern[p]) == windowsUpper(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// Whether one segment of a path is a device: its name up to the first '.',
// blanks at its end ignored.
bool isDeviceName(std::u16string_view segment) {
  segment = segment.substr(0, segment.find(u'.'));
  while (!segment.empty() && segment.back() == u' ') segment.remove_suffix(1);
  if (segment.size() != 3 && segment.size() != 4) return false;
  std::u16string name;
  for (char16_t c : segment) name += windowsUpper(c);
  if (name == u"CON" || name == u"PRN" || name == u"AUX" || name == u"NUL") return true;
  // COM1-COM9 and LPT1-LPT9, also with the superscripts ¹ ² ³.
  const std::u16string_view digits = u"123456789¹²³";
  return name.size() == 4 && (name.starts_with(u"COM") || name.starts_with(u"LPT")) &&
         digits.find(name[3]) != std::u16string_view::npos;
}

}  // namespace

bool isReservedName(std::u16string_view path) {
  const size_t colon = path.find(u':');
  if (colon != std::u16string_view::npos) {
    const bool drive = colon == 1 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                                      (path[0] >= u'a' && path[0] <= u'z'));
    if (!drive || path.find(u':', 2) != std::u16string_view::npos) return true;
  }
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || isSeparator(path[i])) {
      if (isDeviceName(path.substr(start, i - start))) return true;
      start = i + 1;
    }
  }
  return false;
}

std::u16string extendedLengthPath(std::u16string_view fullPath) {
  std::u16string path(fullPath);
  std::replace(path.begin(), path.end(), u'/', u'\\');
  if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) return path;
  if (path.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + path.substr(2);
  return u"\\\\?\\" + path;
}

PathParts splitPath(std::u16string_view path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == u':') {
    parts.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  size_t lastSeparator = std::u16string_view::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (isSeparator(path[i])) lastSeparator = i;
  }
  if (lastSeparator != std::u16string_view::npos) {
    parts.dir = path.substr(0, lastSeparator + 1);
    path.remove_prefix(lastSeparator + 1);
  }
  const size_t dot = path.rfind(u'.');
  if (dot != std::u16string_view::npos) {
    parts.name = path.substr(0, dot);
    parts.ext = path.substr(dot);
  } else {
    parts.name = path;
  }
  return parts;
}

bool matchesPattern(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*" || pattern == u"*.*") return true;
  if (globMatch(pattern, name)) return true;
  // "x.*" also matches a name without an extension, and "x." matches only
  // names without one, as the Windows search does.
  const bool nameHasDot = name.find(u'.') != std::u16string_view::npos;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" && !nameHasDot) {
    return globMatch(pattern.substr(0, pattern.size() - 2), name);
  }
  if (!pattern.empty() && pattern.back() == u'.' && !nameHasDot) {
    return globMatch(pattern.substr(0, pattern.size() - 1), name);
  }
  return false;
}

void sortByName(std::vector<DirEntry>* entries) {
  std::vector<std::pair<std::u16string, DirEntry>> keyed;
  keyed.reserve(entries->size());
  for (DirEntry& entry : *entries) {
    std::u16string key = toUpperWide(entry.name);
    keyed.emplace_back(std::move(key), std::move(entry));
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  entries->clear();
  for (auto& k : keyed) entries->push_back(std::move(k.second));
}

}  // namespace platform
