// Files, printing and loading.
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

FileObject* fileArgument(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kFile) lisp.badType("filep", v);
  auto* file = static_cast<FileObject*>(v.asObject());
  if (!file->file) lisp.fail("bad argument value: a closed file " + prin1String(v));
  return file;
}

void writeTo(Interpreter& lisp, FileObject* file, std::string_view bytes) {
  if (!file->writing) lisp.fail("bad argument value: a file opened for reading");
  if (!file->file->write(file->offset, bytes.data(), bytes.size()).ok()) {
    lisp.fail("write failed: " + platform::toUtf8(file->name));
  }
  file->offset += bytes.size();
}

// Writes to the file of `args[at]`, or to standard output when there is none.
void output(Interpreter& lisp, Args& args, size_t at, std::string_view bytes) {
  if (args.size() > at && !args[at].isNil()) {
    writeTo(lisp, fileArgument(lisp, args[at]), bytes);
  } else {
    lisp.write(bytes);
  }
}

Value open(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  lisp.requireFiles();  // a third argument (an encoding) is accepted; files are UTF-8
  const std::u16string& name = text(lisp, args[0]);
  const std::u16string mode = platform::toLowerWide(text(lisp, args[1]));
  platform::Env& env = *platform::Env::defaultEnv();
  auto file = std::make_unique<FileObject>();
  file->name = name;
  platform::Status s;
  if (mode == u"r") {
    s = env.openFile(name, platform::OpenMode::kRead, &file->file);
  } else if (mode == u"w") {
    file->writing = true;
    s = env.openFile(name, platform::OpenMode::kCreateTruncate, &file->file);
  } else if (mode == u"a") {
    file->writing = true;
    s = env.openFile(name, platform::OpenMode::kReadWrite, &file->file);
    if (s.kind() == platform::ErrorKind::kNotFound) {
      s = env.openFile(name, platform::OpenMode::kCreateTruncate, &file->file);
    } else if (s.ok()) {
      s = file->file->size(&file->offset);
    }
  } else {
    lisp.fail("bad argument value: open mode " + prin1String(args[1]));
  }
  if (!s.ok()) return Value();
  return Value::object(file.release());
}

Value close(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  FileObject* file = fileArgument(lisp, args[0]);
  file->file->close();
  file->file.reset();
  return Value();
}

// The longest line read-line reads, and the longest line or form a script
// may hold: a never-ending input (a pipe from /dev/zero) ends in an error,
// not in all the memory there is.
constexpr size_t kMaxLineBytes = size_t{1} << 28;

// Reads the next piece of a file into its pending bytes; false at its end.
// Bytes already returned are dropped once they are most of the buffer, so
// that reading a file line by line moves each byte a bounded number of
// times.
bool readMore(Interpreter& lisp, FileObject* file) {
  if (file->atEnd) return false;
  if (file->consumed > (size_t{1} << 16) && file->consumed * 2 > file->pending.size()) {
    file->pending.erase(0, file->consumed);
    file->consumed = 0;
  }
  const size_t at = file->pending.size(), chunk = size_t{1} << 16;
  file->pending.resize(at + chunk);
  size_t got = 0;
  const bool read = file->file->read(file->offset, file->pending.data() + at, chunk, &got).ok();
  file->pending.resize(at + got);
  if (!read) lisp.fail("read failed: " + platform::toUtf8(file->name));
  file->offset += got;
  file->atEnd = got == 0;
  return got > 0;
}

FileObject* readableFile(Interpreter& lisp, const Value& v) {
  FileObject* file = fileArgument(lisp, v);
  if (file->writing) lisp.fail("bad argument value: a file opened for writing");
  return file;
}

Value readLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  std::string line;
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    if (!std::getline(std::cin, line)) return Value();
  } else {
    FileObject* file = readableFile(lisp, args[0]);
    // Each byte is looked at once, however long the line.
    size_t newline, scanned = file->consumed;
    while ((newline = file->pending.find('\n', scanned)) == std::string::npos && !file->atEnd) {
      if (file->pending.size() - file->consumed > kMaxLineBytes) {
        lisp.fail("line too long: over " + std::to_string(kMaxLineBytes >> 20) + " MiB in " +
                  platform::toUtf8(file->name));
      }
      const size_t before = file->consumed;
      scanned = file->pending.size();
      readMore(lisp, file);
      scanned -= before - file->consumed;  // the buffer may have dropped what was returned
    }
    if (file->consumed >= file->pending.size() && file->atEnd) return Value();
    if (newline == std::string::npos) newline = file->pending.size();
    line = file->pending.substr(file->consumed, newline - file->consumed);
    file->consumed = std::min(newline + 1, file->pending.size());
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Value::string(platform::fromUtf8(line));
}

// (read-char [FILE]): the code of the next character, 10 for a line end
// (CR LF or LF), nil at the end.
Value readChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    const int c = std::cin.get();
    return c == EOF ? Value() : Value::integer(c);
  }
  FileObject* file = readableFile(lisp, args[0]);
  auto available = [&](size_t n) {
    while (file->pending.size() - file->consumed < n && readMore(lisp, file)) {
    }
    return file->pending.size() - file->consumed >= n;
  };
  if (!available(1)) return Value();
  const auto lead = static_cast<unsigned char>(file->pending[file->consumed]);
  if (lead == '\r' && available(2) && file->pending[file->consumed + 1] == '\n') {
    file->consumed += 2;
    return Value::integer('\n');
  }
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  available(length);
  const std::u16string decoded = platform::fromUtf8(
      std::string_view(file->pending)
          .substr(file->consumed, std::min(length, file->pending.size() - file->consumed)));
  file->consumed += std::min(length, file->pending.size() - file->consumed);
  return Value::integer(decoded.empty() ? 0 : decoded[0]);
}

// (write-char CODE [FILE]): a line end (10) ends the line as write-line does.
Value writeChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const int32_t code = integer(lisp, args[0]);
  if (code < 1 || code > 0xFFFF) lisp.fail("bad argument value: " + prin1String(args[0]));
  const bool toFile = args.size() == 2 && !args[1].isNil();
  const std::string bytes = code == '\n'
                                ? (toFile ? "\r\n" : "\n")
                                : platform::toUtf8(std::u16string(1, static_cast<char16_t>(code)));
  if (toFile) {
    writeTo(lisp, fileArgument(lisp, args[1]), bytes);
  } else {
    lisp.write(bytes);
  }
  return args[0];
}

Value writeLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::string line = platform::toUtf8(text(lisp, args[0]));
  if (args.size() == 2 && !args[1].isNil()) {
    // Lines end as a Windows program ends them, on every platform.
    writeTo(lisp, fileArgument(lisp, args[1]), line + "\r\n");
  } else {
    lisp.write(line + "\n");
  }
  return args[0];
}

Value princ(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, princString(args[0]));
  return args[0];
}

Value prin1(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, prin1String(args[0]));
  return args[0];
}

Value print(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, "\n" + prin1String(args[0]) + " ");
  return args[0];
}

Value terpri(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  output(lisp, args, 0, args.empty() ? "\n" : "\r\n");
  return Value();
}

Value load(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string name = text(lisp, args[0]);
  if (args.size() == 2) {
    // A second argument is what a load that cannot find its file answers.
    std::unique_ptr<platform::File> probe;
    platform::Env& env = *platform::Env::defaultEnv();
    if (!platform::fileExists(env, name) &&
        !(platform::splitPath(name).ext.empty() && platform::fileExists(env, name + u".lsp"))) {
      return args[1];
    }
  }
  return lisp.load(name);
}

Value exitProgram(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  ExitRequest request;
  if (!args.empty()) {
    request.given = true;
    request.status = integer(lisp, args[0]);
  }
  throw request;
}

}  // namespace

std::span<const Subr> fileFunctions() {
  static const Subr table[] = {
      {"OPEN", open},
      {"CLOSE", close},
      {"READ-LINE", readLine},
      {"READ-CHAR", readChar},
      {"WRITE-CHAR", writeChar},
      {"WRITE-LINE", writeLine},
      {"PRINC", princ},
      {"PRIN1", prin1},
      {"PRINT", print},
      {"TERPRI", terpri},
      {"LOAD", load},
      {"EXIT", exitProgram},
      {"QUIT", exitProgram},
  };
  return table;
}

}  // namespace lisp
