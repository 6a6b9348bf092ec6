// The Visual LISP file and file-name functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "host/library.h"
#include "library.h"
#include "platform/env.h"
#include "platform/file_writes.h"
#include "platform/local_time.h"
#include "platform/path.h"
#include "platform/text.h"

namespace lisp {
namespace {

// (vl-filename-base NAME), -directory and -extension: the parts of a path
// with '\' or '/' between folders.
platform::PathParts filenameParts(Interpreter& lisp, const Value& v) {
  return platform::splitPath(text(lisp, v));
}
Value filenameBase(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(filenameParts(lisp, args[0]).name);
}
Value filenameDirectory(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const platform::PathParts parts = filenameParts(lisp, args[0]);
  std::u16string folder = parts.drive + parts.dir;
  if (folder.size() > parts.drive.size() + 1 && (folder.back() == u'\\' || folder.back() == u'/')) {
    folder.pop_back();
  }
  return Value::string(std::move(folder));
}
Value filenameExtension(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const platform::PathParts parts = filenameParts(lisp, args[0]);
  return parts.ext.empty() ? Value() : Value::string(parts.ext);
}

platform::Env& env() {
  return *platform::Env::defaultEnv();
}

// A name argument, for a function that touches files.
const std::u16string& fileNameArgument(Interpreter& lisp, const Value& v) {
  lisp.requireFiles();
  return text(lisp, v);
}

bool exists(const std::u16string& path, platform::FileInfo* info = nullptr) {
  platform::FileInfo ignored;
  return !path.empty() && env().fileInfo(path, info ? info : &ignored).ok();
}

// (vl-file-copy SOURCE DESTINATION [APPEND]): the bytes copied, or nil. A
// copy never writes over an existing file; APPEND adds the source's bytes
// at the end of the destination instead, all or nothing. A file is never
// copied or appended onto itself.
Value fileCopy(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  const std::u16string& from = fileNameArgument(lisp, args[0]);
  const std::u16string& to = text(lisp, args[1]);
  const bool append = args.size() == 3 && !args[2].isNil();
  platform::FileInfo info, target;
  bool sourceThere = false, targetThere = false;
  if (!platform::lookUp(env(), from, &sourceThere, &info).ok() || !sourceThere ||
      info.isDirectory) {
    return Value();
  }
  if (!platform::lookUp(env(), to, &targetThere, &target).ok()) return Value();
  if (append && targetThere) {
    uint64_t copied = 0;
    if (!platform::appendFile(env(), from, to, &copied).ok()) return Value();
    return Value::integer(wrap(static_cast<int64_t>(copied)));
  }
  if (!platform::copyFile(env(), from, to, platform::Replace::kNever).ok()) return Value();
  return Value::integer(wrap(static_cast<int64_t>(info.size)));
}

Value fileDelete(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(platform::deleteFile(env(), fileNameArgument(lisp, args[0])).ok(), lisp);
}

// (vl-file-rename OLD NEW): T, or nil when NEW is taken or OLD is missing.
Value fileRename(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::u16string& from = fileNameArgument(lisp, args[0]);
  return truth(env().renameNoReplace(from, text(lisp, args[1])).ok(), lisp);
}

// (vl-file-size NAME): the size in bytes, 0 for a folder, nil when missing.
Value fileSize(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  platform::FileInfo info;
  if (!exists(fileNameArgument(lisp, args[0]), &info)) return Value();
  if (info.isDirectory) return Value::integer(0);
  return Value::integer(wrap(static_cast<int64_t>(info.size)));
}

// (vl-file-systime NAME): when the file was last written, in local time:
// (year month weekday day hours minutes seconds 0), Sunday being weekday 0.
Value fileSystime(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  platform::FileInfo info;
  if (!exists(fileNameArgument(lisp, args[0]), &info) || info.isDirectory) return Value();
  platform::LocalTime local;
  if (!platform::localTimeOf(info.modified, &local)) return Value();
  return makeList({Value::integer(local.year), Value::integer(local.month),
                   Value::integer(local.weekday), Value::integer(local.day),
                   Value::integer(local.hour), Value::integer(local.minute),
                   Value::integer(local.second), Value::integer(0)});
}

Value fileDirectoryp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  platform::FileInfo info;
  return truth(exists(fileNameArgument(lisp, args[0]), &info) && info.isDirectory, lisp);
}

Value makeDirectory(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(env().createDirectory(fileNameArgument(lisp, args[0])).ok(), lisp);
}

// A folder and a name joined with the separator the folder uses.
std::u16string join(const std::u16string& folder, std::u16string_view name) {
  if (folder.empty()) return std::u16string(name);
  const char16_t last = folder.back();
  if (last == u'\\' || last == u'/' || last == u':') return folder + std::u16string(name);
  const bool slash = folder.find(u'/') != std::u16string::npos;
  return folder + (slash ? u'/' : u'\\') + std::u16string(name);
}

// (vl-directory-files [FOLDER [PATTERN [WHICH]]]): the names in FOLDER (the
// current one by default) matching PATTERN ("*.*"): files and folders, or
// only folders (WHICH -1) or only files (1); nil when there are none.
Value directoryFiles(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 3);
  lisp.requireFiles();
  const std::u16string folder = args.size() >= 1 && !args[0].isNil() ? text(lisp, args[0]) : u"";
  const std::u16string pattern =
      args.size() >= 2 && !args[1].isNil() ? text(lisp, args[1]) : u"*.*";
  const int32_t which = args.size() == 3 && !args[2].isNil() ? integer(lisp, args[2]) : 0;
  std::vector<platform::DirEntry> entries;
  if (!platform::findFiles(env(), join(folder, pattern), false, &entries).ok()) return Value();
  std::vector<Value> names;
  for (const platform::DirEntry& entry : entries) {
    if ((which < 0 && !entry.isDirectory) || (which > 0 && entry.isDirectory)) continue;
    names.push_back(Value::string(entry.name));
  }
  return makeList(std::move(names));
}

// (vl-filename-mktemp [PATTERN [FOLDER [EXTENSION]]]): a name no file has
// yet: FOLDER (else PATTERN's, else the TEMP folder), up to five characters
// of PATTERN's name ("$VL~~"), three digits, and the extension.
Value filenameMktemp(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 3);
  lisp.requireFiles();
  const std::u16string pattern = !args.empty() && !args[0].isNil() ? text(lisp, args[0]) : u"$VL~~";
  const platform::PathParts parts = platform::splitPath(pattern);
  std::u16string folder = parts.drive + parts.dir;
  if (args.size() >= 2 && !args[1].isNil()) folder = text(lisp, args[1]);
  if (folder.empty()) {
    std::optional<std::u16string> temp = zc::environmentText(u"TEMP");
    if (!temp) temp = zc::environmentText(u"TMP");
#if defined(_WIN32)
    folder = temp ? *temp : u".";
#else
    folder = temp ? *temp : u"/tmp";
#endif
  }
  const std::u16string base = (parts.name.empty() ? u"$VL~~" : parts.name).substr(0, 5);
  std::u16string extension = parts.ext;
  if (args.size() == 3 && !args[2].isNil()) extension = text(lisp, args[2]);
  for (int n = 1; n <= 999; ++n) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", n);
    const std::u16string candidate = join(folder, base + platform::fromUtf8(digits) + extension);
    // Free only when no entry has the name: a dangling link holds it too,
    // and a status that cannot be read is no free name.
    platform::FileInfo entry;
    if (env().entryInfo(candidate, &entry).kind() == platform::ErrorKind::kNotFound) {
      return Value::string(candidate);
    }
  }
  return Value();
}

}  // namespace

std::span<const Subr> vlFileFunctions() {
  static const Subr table[] = {
      {"VL-FILENAME-BASE", filenameBase},
      {"VL-FILENAME-DIRECTORY", filenameDirectory},
      {"VL-FILENAME-EXTENSION", filenameExtension},
      {"VL-FILENAME-MKTEMP", filenameMktemp},
      {"VL-FILE-COPY", fileCopy},
      {"VL-FILE-DELETE", fileDelete},
      {"VL-FILE-RENAME", fileRename},
      {"VL-FILE-SIZE", fileSize},
      {"VL-FILE-SYSTIME", fileSystime},
      {"VL-FILE-DIRECTORY-P", fileDirectoryp},
      {"VL-MKDIR", makeDirectory},
      {"VL-DIRECTORY-FILES", directoryFiles},
  };
  return table;
}

}  // namespace lisp
