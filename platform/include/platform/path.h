// Paths in the host's form: UTF-16, '\' or '/' between folders, an optional
// drive letter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The parts of a path as _wsplitpath_s gives them: drive ("C:" or empty),
// directory (up to and including the last '\' or '/'), file name (up to its
// last '.') and extension (from that '.' on).
struct PathParts {
  std::u16string drive;
  std::u16string dir;
  std::u16string name;
  std::u16string ext;
};
PathParts splitPath(std::u16string_view path);

// True when `name` matches the directory-search pattern `pattern` ('*' and
// '?', case ignored, "*.*" matching every name) as the Windows directory
// search matches long names. Short (8.3) names are never matched: "*.dwg"
// is no pattern for "plan.dwg1".
bool matchesPattern(std::u16string_view pattern, std::u16string_view name);

// True when `path` holds a name Windows never stores as a file: a device
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9; with any extension, in any
// case, as any segment of the path), or a ':' anywhere but after a drive
// letter (on NTFS it names an alternate stream of a file). Writing to
// such a name loses the data, so no file service takes one.
bool isReservedName(std::u16string_view path);

// The "\\?\" form of a full path ("C:\dir\name", "\\server\share\name"),
// in which the Win32 file services take paths longer than MAX_PATH:
// "\\?\C:\dir\name", "\\?\UNC\server\share\name". '/' becomes '\' (the
// form takes no other separator); a path already in a "\\?\" or "\\.\"
// form stays as it is.
std::u16string extendedLengthPath(std::u16string_view fullPath);

struct DirEntry;
// Sorts entries in the order in which NTFS keeps a folder's names, and every
// directory search here yields them: by their UTF-16 code units
// upper-cased, then (for names that differ in case only, which other file
// systems allow) by their own.
void sortByName(std::vector<DirEntry>* entries);

}  // namespace platform
