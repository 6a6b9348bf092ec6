// Files, printing and loading.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>

#include "host/library.h"
#include "library.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"

namespace lisp {

FileObject::~FileObject() {
  // Nobody is left to tell of a failure here, as when a program's open
  // files are flushed at its end; the file stays as it was then.
  if (made) (void)made->publish();
}

namespace {

FileObject* fileArgument(Interpreter& lisp, const Value& v) {
  if (v.type() != Type::kFile) lisp.badType("filep", v);
  auto* file = static_cast<FileObject*>(v.asObject());
  if (!file->handle())
    lisp.fail("bad argument value: a closed file " + prin1String(v, lisp.reals()));
  return file;
}

std::string fileName(const FileObject* file) {
  return platform::toUtf8(file->name);
}

// Text in a file's encoding, its line ends (a LF not after a CR) made CR LF
// as a Windows program writes them, whatever wrote them: write-line, princ
// "\n" and terpri end lines alike.
std::string encodeForFile(Interpreter& lisp, FileObject* file, std::u16string_view text) {
  std::u16string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const bool afterCr = i > 0 ? text[i - 1] == u'\r' : file->afterCr;
    if (text[i] == u'\n' && !afterCr) lines += u'\r';
    lines += text[i];
  }
  if (!text.empty()) file->afterCr = text.back() == u'\r';
  switch (file->encoding) {
    case Encoding::kUtf16Le: {
      std::string out;
      for (char16_t c : lines) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
      }
      return out;
    }
    case Encoding::kUtf8:
      return platform::toUtf8(lines);
    default: {
      std::string out;
      if (!platform::toAnsiExact(lines, &out)) {
        // Rather an error than a '?' in the file in place of what was written.
        lisp.fail("write failed: code page " + std::to_string(platform::ansiCodePage()) +
                  " has no character for some of " +
                  prin1String(Value::string(std::u16string(text))) + " in " + fileName(file) +
                  "; open it with the encoding \"utf8\"");
      }
      return out;
    }
  }
}

void writeTo(Interpreter& lisp, FileObject* file, std::u16string_view text) {
  if (!file->writing) lisp.fail("bad argument value: a file opened for reading");
  std::string bytes = file->mark + encodeForFile(lisp, file, text);
  if (!file->handle()->write(file->offset, bytes.data(), bytes.size()).ok()) {
    lisp.fail("write failed: " + fileName(file));
  }
  file->mark.clear();
  file->offset += bytes.size();
}

// Writes to the file of `args[at]`, or to standard output when there is none.
void output(Interpreter& lisp, Args& args, size_t at, const std::string& utf8) {
  if (args.size() > at && !args[at].isNil()) {
    writeTo(lisp, fileArgument(lisp, args[at]), platform::fromUtf8(utf8));
  } else {
    lisp.write(utf8);
  }
}

// The optional encoding argument of open: "utf8", "utf8-bom", "utf16le",
// "utf16le-bom" (the -bom forms write a byte-order mark at the start of a
// new file; UTF-16 always has one), or "ansi".
Encoding encodingArgument(Interpreter& lisp, const Value& v, bool* mark) {
  const std::u16string name = platform::toLowerWide(text(lisp, v));
  *mark = name.ends_with(u"-bom");
  if (name == u"utf8" || name == u"utf-8" || name == u"utf8-bom") return Encoding::kUtf8;
  if (name == u"utf16le" || name == u"utf-16le" || name == u"utf16le-bom") {
    *mark = true;
    return Encoding::kUtf16Le;
  }
  if (name == u"ansi" || name == u"mbcs") return Encoding::kAnsi;
  lisp.fail("bad argument value: open encoding " + prin1String(v, lisp.reals()));
}

// The encoding a file being appended to already has, decided as reading
// decides it: by its mark, or UTF-8 when its text is UTF-8 and not ASCII.
Encoding encodingOfFile(platform::File& file) {
  std::string head(size_t{1} << 16, '\0');
  size_t got = 0;
  if (!file.read(0, head.data(), head.size(), &got).ok()) return Encoding::kAnsi;
  const bool whole = got < head.size();  // else a character may be cut at the end
  head.resize(got);
  if (head.starts_with("\xEF\xBB\xBF")) return Encoding::kUtf8;
  if (head.starts_with("\xFF\xFE")) return Encoding::kUtf16Le;
  const size_t valid = platform::validUtf8Length(head);
  const bool ascii = std::all_of(head.begin(), head.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const bool utf8 = valid == head.size() || (!whole && head.size() - valid < 4);
  return !ascii && utf8 ? Encoding::kUtf8 : Encoding::kAnsi;
}

// (open NAME MODE [ENCODING]): text read is decoded by its mark, as valid
// UTF-8, or in the ANSI code page (unless ENCODING says); text written is in
// the ANSI code page unless ENCODING says.
Value open(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  lisp.requireFiles();
  const std::u16string& name = text(lisp, args[0]);
  const std::u16string mode = platform::toLowerWide(text(lisp, args[1]));
  bool mark = false;
  const bool given = args.size() == 3 && !args[2].isNil();
  const Encoding encoding = given ? encodingArgument(lisp, args[2], &mark) : Encoding::kAnsi;
  platform::Env& env = *platform::Env::defaultEnv();
  auto file = std::make_unique<FileObject>();
  file->name = name;
  file->encoding = encoding;
  platform::Status s;
  bool fresh = false;
  if (mode == u"r") {
    s = env.openFile(name, platform::OpenMode::kRead, &file->file);
    file->lines = LineDecoder(given ? encoding : Encoding::kDetect);
    file->skipMark = given;
  } else if (mode == u"w") {
    file->writing = true;
    fresh = true;
  } else if (mode == u"a") {
    file->writing = true;
    s = platform::openForUpdate(env, name, &file->file);
    if (s.kind() == platform::ErrorKind::kNotFound) {
      fresh = true;
      s = platform::Status();
    } else if (s.ok()) {
      s = file->file->size(&file->offset);
      if (s.ok() && file->offset > 0) {
        // Appended text keeps the encoding the file has.
        if (!given) file->encoding = encodingOfFile(*file->file);
        mark = false;
      }
    }
  } else {
    lisp.fail("bad argument value: open mode " + prin1String(args[1], lisp.reals()));
  }
  if (fresh) {
    // Written beside it, the new file takes the old one's place when closed.
    file->made = std::make_unique<platform::NewFile>(env);
    s = file->made->begin(name, platform::Replace::kAlways, platform::Locking::kNone);
    if (!s.ok()) file->made.reset();
  }
  if (!s.ok()) return Value();
  if (mark && file->writing) {
    file->mark = file->encoding == Encoding::kUtf16Le ? "\xFF\xFE" : "\xEF\xBB\xBF";
  }
  return Value::object(file.release());
}

Value close(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  FileObject* file = fileArgument(lisp, args[0]);
  // A new file opened with a mark and never written still gets its mark.
  if (file->writing && !file->mark.empty()) writeTo(lisp, file, u"");
  platform::Status s;
  if (file->made) {
    s = file->made->publish();
    file->made.reset();
  } else {
    // What was appended is on the disk before close says so; a failure to
    // close after that loses nothing.
    if (file->writing) s = file->file->sync();
    (void)file->file->close();  // synced, or only read
    file->file.reset();
  }
  if (!s.ok()) lisp.fail("close failed: " + fileName(file));
  return Value();
}

// The longest line read-line reads: a never-ending input (a pipe from
// /dev/zero) ends in an error, not in all the memory there is.
constexpr size_t kMaxLineBytes = size_t{1} << 28;

FileObject* readableFile(Interpreter& lisp, const Value& v) {
  FileObject* file = fileArgument(lisp, v);
  if (file->writing) lisp.fail("bad argument value: a file opened for writing");
  return file;
}

// Makes the next decoded line of a file current; false at the end.
bool nextLine(Interpreter& lisp, FileObject* file) {
  std::string chunk;
  for (;;) {
    switch (file->lines.next(&file->line)) {
      case LineDecoder::Result::kLine:
        file->lineAt = 0;
        if (file->skipMark && file->line.starts_with("\xEF\xBB\xBF")) file->lineAt = 3;
        file->skipMark = false;
        return true;
      case LineDecoder::Result::kBad:
        lisp.fail("read failed: bytes that are no characters in " + file->lines.encodingName() +
                  " in " + fileName(file));
      case LineDecoder::Result::kNone:
        break;
    }
    if (file->atEnd) return false;
    if (file->lines.buffered() > kMaxLineBytes) {
      lisp.fail("line too long: over " + std::to_string(kMaxLineBytes >> 20) + " MiB in " +
                fileName(file));
    }
    chunk.resize(size_t{1} << 16);
    size_t got = 0;
    if (!file->file->read(file->offset, chunk.data(), chunk.size(), &got).ok()) {
      lisp.fail("read failed: " + fileName(file));
    }
    file->offset += got;
    if (got == 0) {
      file->atEnd = true;
      file->lines.end();
    } else {
      file->lines.add(std::string_view(chunk).substr(0, got));
    }
  }
}

// A line of standard input, decoded as a script is: UTF-8 when it is valid,
// else the ANSI code page.
bool standardInputLine(Interpreter& lisp, std::string* line) {
  line->clear();
  char buffer[4096];
  for (;;) {
    errno = 0;
    if (!std::fgets(buffer, sizeof buffer, stdin)) {
      if (!std::ferror(stdin) || errno != EINTR) break;
      std::clearerr(stdin);  // interrupted by a signal: read on
      continue;
    }
    line->append(buffer);
    if (line->back() == '\n') break;
    if (line->size() > kMaxLineBytes) lisp.fail("line too long on standard input");
  }
  if (line->empty()) return false;
  if (!platform::isValidUtf8(*line)) {
    std::u16string decoded;
    if (!platform::fromCodePageExact(platform::ansiCodePage(), *line, &decoded)) {
      lisp.fail("read failed: bytes that are no characters in code page " +
                std::to_string(platform::ansiCodePage()) + " on standard input");
    }
    *line = platform::toUtf8(decoded);
  }
  return true;
}

Value readLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  std::string typed;
  std::string_view line;
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    if (!standardInputLine(lisp, &typed)) return Value();
    line = typed;
  } else {
    FileObject* file = readableFile(lisp, args[0]);
    // The rest of a line read-char began, or the next line.
    if (file->lineAt >= file->line.size() && !nextLine(lisp, file)) return Value();
    line = std::string_view(file->line).substr(file->lineAt);
    file->lineAt = file->line.size();
  }
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return Value::string(platform::fromUtf8(line));
}

// (read-char [FILE]): the code of the next character, 10 for a line end
// (CR LF or LF), nil at the end.
Value readChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  if (args.empty() || args[0].isNil()) {
    lisp.requireFiles();
    const int c = std::fgetc(stdin);
    return c == EOF ? Value() : Value::integer(c);
  }
  FileObject* file = readableFile(lisp, args[0]);
  if (file->lineAt >= file->line.size() && !nextLine(lisp, file)) return Value();
  const std::string_view rest = std::string_view(file->line).substr(file->lineAt);
  if (rest.starts_with("\r\n")) {
    file->lineAt += 2;
    return Value::integer('\n');
  }
  const auto lead = static_cast<unsigned char>(rest[0]);
  const size_t length = std::min<size_t>(lead >= 0xF0   ? 4
                                         : lead >= 0xE0 ? 3
                                         : lead >= 0xC0 ? 2
                                                        : 1,
                                         rest.size());
  file->lineAt += length;
  const std::u16string decoded = platform::fromUtf8(rest.substr(0, length));
  return Value::integer(decoded.empty() ? 0 : decoded[0]);
}

// (write-char CODE [FILE]): a line end (10) ends the line as write-line does.
Value writeChar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const int32_t code = integer(lisp, args[0]);
  if (code < 1 || code > 0xFFFF)
    lisp.fail("bad argument value: " + prin1String(args[0], lisp.reals()));
  output(lisp, args, 1, platform::toUtf8(std::u16string(1, static_cast<char16_t>(code))));
  return args[0];
}

Value writeLine(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  output(lisp, args, 1, platform::toUtf8(text(lisp, args[0])) + "\n");
  return args[0];
}

Value princ(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, princString(args[0], lisp.reals()));
  return args[0];
}

Value prin1(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, prin1String(args[0], lisp.reals()));
  return args[0];
}

Value print(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 2);
  if (args.empty()) return Value::object(nullSymbol(lisp));
  output(lisp, args, 1, "\n" + prin1String(args[0], lisp.reals()) + " ");
  return args[0];
}

Value terpri(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 1);
  output(lisp, args, 0, "\n");
  return Value();
}

Value load(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string name = text(lisp, args[0]);
  if (args.size() == 2) {
    // A second argument is what a load that cannot open its file answers
    // (a missing file, a folder, a file it may not read).
    lisp.requireFiles();
    std::unique_ptr<platform::File> probe;
    platform::Env& env = *platform::Env::defaultEnv();
    if (!env.openFile(name, platform::OpenMode::kRead, &probe).ok() &&
        !(platform::splitPath(name).ext.empty() &&
          env.openFile(name + u".lsp", platform::OpenMode::kRead, &probe).ok())) {
      return args[1];
    }
  }
  return lisp.load(name);
}

// (findfile NAME): the path of NAME as found: as given when it names a
// folder, else in the current folder, then in each folder of the ACAD
// environment variable (the hosts' support path, ';' between folders); nil
// when it is nowhere.
Value findfile(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  lisp.requireFiles();
  const std::u16string& name = text(lisp, args[0]);
  platform::Env& env = *platform::Env::defaultEnv();
  platform::FileInfo info;
  auto found = [&](const std::u16string& path) {
    return !path.empty() && env.fileInfo(path, &info).ok();
  };
  const platform::PathParts parts = platform::splitPath(name);
  if (!parts.drive.empty() || !parts.dir.empty())
    return found(name) ? Value::string(name) : Value();
  if (found(name)) {
    std::error_code error;
    const std::u16string here = std::filesystem::current_path(error).u16string();
    if (error || here.empty()) return Value::string(name);
    const char16_t separator = here.find(u'\\') != std::u16string::npos ? u'\\' : u'/';
    return Value::string(here + (here.back() == separator ? u"" : std::u16string(1, separator)) +
                         name);
  }
  const std::optional<std::u16string> support = zc::environmentText(u"ACAD");
  if (!support) return Value();
  const std::u16string& folders = *support;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(u';', start);
    if (end == std::u16string::npos) end = folders.size();
    std::u16string folder = folders.substr(start, end - start);
    if (!folder.empty()) {
      const char16_t last = folder.back();
      if (last != u'\\' && last != u'/')
        folder += folder.find(u'/') != std::u16string::npos ? u'/' : u'\\';
      if (found(folder + name)) return Value::string(folder + name);
    }
    start = end + 1;
  }
  return Value();
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
      {"FINDFILE", findfile},
      {"EXIT", exitProgram},
      {"QUIT", exitProgram},
  };
  return table;
}

}  // namespace lisp
