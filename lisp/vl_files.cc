// The Visual LISP file and file-name functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <numbers>

#include "host/library.h"
#include "lisp/library.h"
#include "platform/env.h"
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

}  // namespace

std::span<const Subr> vlFileFunctions() {
  static const Subr table[] = {
      {"VL-FILENAME-BASE", filenameBase},
      {"VL-FILENAME-DIRECTORY", filenameDirectory},
      {"VL-FILENAME-EXTENSION", filenameExtension},
  };
  return table;
}

}  // namespace lisp
