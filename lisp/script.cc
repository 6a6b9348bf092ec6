// The one read-evaluate loop: bytes to lines of UTF-8, lines to whole
// forms, forms to values.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "library.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"

namespace lisp {
namespace {

// The longest line or form a text may hold: a never-ending input (a pipe
// from /dev/zero) ends in an error, not in all the memory there is.
constexpr size_t kMaxFormBytes = size_t{1} << 28;
// A file that loads itself stops here.
constexpr int kMaxLoadDepth = 32;

bool isAscii(std::string_view bytes) {
  return platform::asciiLength(bytes) == bytes.size();
}

// UTF-16 bytes to UTF-8; *rest keeps an odd byte or a high surrogate that
// waits for its pair. A lone surrogate becomes the byte 0xFF, which no UTF-8
// holds, so that the line that holds it is reported.
void utf16ToUtf8(std::string_view bytes, bool bigEndian, std::string* rest, std::string* out) {
  std::string in = *rest + std::string(bytes);
  size_t i = 0;
  auto unit = [&](size_t at) -> char16_t {
    const auto a = static_cast<unsigned char>(in[at]), b = static_cast<unsigned char>(in[at + 1]);
    return static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a);
  };
  std::u16string units;
  while (i + 2 <= in.size()) {
    const char16_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 4 > in.size()) break;  // wait for the pair
      const char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        units += c;
        units += low;
        i += 4;
        continue;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      *out += platform::toUtf8(units);
      units.clear();
      *out += '\xFF';
    } else {
      units += c;
    }
    i += 2;
  }
  *out += platform::toUtf8(units);
  rest->assign(in, i, std::string::npos);
}

// A line's bytes as UTF-8 where they are characters of `encoding` (the
// ANSI code page, or UTF-8), and the byte 0xFF for each byte that is none.
std::string markUndecodable(std::string_view bytes, Encoding encoding) {
  std::string out;
  if (encoding != Encoding::kAnsi) {
    for (;;) {
      const size_t valid = platform::validUtf8Length(bytes);
      out.append(bytes.substr(0, valid));
      if (valid == bytes.size()) return out;
      out += '\xFF';
      bytes.remove_prefix(valid + 1);
    }
  }
  const int codePage = platform::ansiCodePage();
  const platform::AnsiCharacters characters(codePage);
  std::u16string decoded;
  for (size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      out += bytes[at++];
      continue;
    }
    // A lead byte whose trail is no trail is one bad byte; the next is
    // read again on its own.
    const size_t length = characters.lengthAt(bytes, at);
    if (platform::fromCodePageExact(codePage, bytes.substr(at, length), &decoded)) {
      out += platform::toUtf8(decoded);
      at += length;
    } else {
      out += '\xFF';
      ++at;
    }
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------- LineDecoder

void LineDecoder::add(std::string_view bytes) {
  if (consumed_ > (size_t{1} << 16) && consumed_ * 2 > raw_.size()) {
    raw_.erase(0, consumed_);
    scanned_ -= consumed_;
    consumed_ = 0;
  }
  if (!markChecked_) {
    odd_.append(bytes);
    checkMark();
    return;
  }
  if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) {
    utf16ToUtf8(bytes, encoding_ == Encoding::kUtf16Be, &odd_, &raw_);
  } else {
    raw_.append(bytes);
  }
}

void LineDecoder::end() {
  ended_ = true;
  if (!markChecked_) checkMark();
}

// A byte-order mark at the very start decides the encoding at once; the
// first bytes wait until it can be seen whole.
void LineDecoder::checkMark() {
  const std::string_view head(odd_);
  auto couldBe = [&](std::string_view mark) {
    const size_t n = std::min(head.size(), mark.size());
    return head.substr(0, n) == mark.substr(0, n);
  };
  if (head.size() < 3 && !ended_ &&
      (couldBe("\xEF\xBB\xBF") || couldBe("\xFF\xFE") || couldBe("\xFE\xFF"))) {
    return;
  }
  markChecked_ = true;
  std::string held;
  held.swap(odd_);
  if (held.starts_with("\xEF\xBB\xBF")) {
    encoding_ = Encoding::kUtf8;
    held.erase(0, 3);
  } else if (held.starts_with("\xFF\xFE") || held.starts_with("\xFE\xFF")) {
    encoding_ = held[0] == '\xFF' ? Encoding::kUtf16Le : Encoding::kUtf16Be;
    utf16ToUtf8(std::string_view(held).substr(2), encoding_ == Encoding::kUtf16Be, &odd_, &raw_);
    return;
  }
  raw_ += held;
}

bool LineDecoder::decide() {
  // Valid UTF-8 from here to the last byte given (a sequence cut by the end
  // of the piece aside) is UTF-8; anything else is in the ANSI code page.
  const std::string_view rest = std::string_view(raw_).substr(consumed_);
  const size_t valid = platform::validUtf8Length(rest);
  // Cut: a lead byte and only continuation bytes after it, up to the end.
  const bool cut =
      !ended_ && rest.size() - valid < 4 && static_cast<unsigned char>(rest[valid]) >= 0xC2 &&
      std::all_of(rest.begin() + valid + 1, rest.end(),
                  [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
  encoding_ = valid == rest.size() || cut ? Encoding::kUtf8 : Encoding::kAnsi;
  return true;
}

namespace {

// The first CR or LF at or after `from`, or npos: found by memchr, not by
// find_first_of, which tries the two characters at each byte in turn.
size_t lineEnd(const std::string& text, size_t from) {
  if (from >= text.size()) return std::string::npos;
  const char* start = text.data() + from;
  const char* end = text.data() + text.size();
  const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end - start));
  const char* limit = lf ? lf : end;
  const auto* cr = static_cast<const char*>(std::memchr(start, '\r', limit - start));
  if (cr) return cr - text.data();
  return lf ? lf - text.data() : std::string::npos;
}

}  // namespace

LineDecoder::Result LineDecoder::next(std::string* line) {
  if (!markChecked_) return Result::kNone;  // a mark still being read
  // A line ends at LF, CR LF, or a CR alone (old Macintosh files); a CR at
  // the end of what has come waits for the next byte.
  size_t newline = lineEnd(raw_, std::max(scanned_, consumed_));
  bool bareCr = false;
  if (newline != std::string::npos && raw_[newline] == '\r') {
    if (newline + 1 < raw_.size()) {
      if (raw_[newline + 1] == '\n') {
        ++newline;
      } else {
        bareCr = true;
      }
    } else if (ended_) {
      bareCr = true;
    } else {
      scanned_ = newline;
      return Result::kNone;
    }
  }
  if (newline == std::string::npos) {
    scanned_ = raw_.size();
    if (!ended_ || consumed_ >= raw_.size()) {
      if (ended_ && !odd_.empty()) {
        // An odd byte, or a high surrogate, at the end of UTF-16 text.
        odd_.clear();
        *line = "\xFF";
        return Result::kBad;
      }
      return Result::kNone;
    }
    newline = raw_.size() - 1;
  }
  std::string_view bytes = std::string_view(raw_).substr(consumed_, newline + 1 - consumed_);
  consumed_ = scanned_ = newline + 1;
  if (bareCr) raw_[newline] = '\n';  // read as the LF it stands for
  if (encoding_ == Encoding::kDetect && !isAscii(bytes)) {
    consumed_ -= bytes.size();
    decide();
    consumed_ += bytes.size();
  }
  switch (encoding_) {
    case Encoding::kDetect:
      line->assign(bytes);
      return Result::kLine;
    case Encoding::kAnsi: {
      std::u16string decoded;
      if (isAscii(bytes)) {
        line->assign(bytes);
        return Result::kLine;
      }
      if (!platform::fromCodePageExact(platform::ansiCodePage(), bytes, &decoded)) {
        *line = markUndecodable(bytes, encoding_);
        return Result::kBad;
      }
      *line = platform::toUtf8(decoded);
      return Result::kLine;
    }
    default:
      if (!platform::isValidUtf8(bytes)) {
        *line = markUndecodable(bytes, encoding_);
        return Result::kBad;
      }
      line->assign(bytes);
      return Result::kLine;
  }
}

std::string LineDecoder::encodingName() const {
  switch (encoding_) {
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be:
      return "UTF-16";
    case Encoding::kAnsi:
      return "code page " + std::to_string(platform::ansiCodePage());
    default:
      return "UTF-8";
  }
}

// ---------------------------------------------------------------- Script

Script::Script(Interpreter& lisp, std::string source, Mode mode, Encoding encoding)
    : lisp_(lisp), source_(std::move(source)), mode_(mode), lines_(encoding) {}

bool Script::feed(std::string_view bytes) {
  if (stopped_) return false;
  lines_.add(bytes);
  takeLines();
  if (!stopped_ && lines_.buffered() + pending_.text().size() > kMaxFormBytes) {
    stop("line too long: over " + std::to_string(kMaxFormBytes >> 20) + " MiB without an end",
         firstLine_);
  }
  return !stopped_;
}

Value Script::finish() {
  if (stopped_) return last_;
  lines_.end();
  takeLines();
  if (stopped_) return last_;
  if (!pending_.empty()) evaluate(pending_.take());
  return last_;
}

void Script::takeLines() {
  std::string line;
  for (;;) {
    const LineDecoder::Result result = lines_.next(&line);
    if (result == LineDecoder::Result::kNone) return;
    if (result == LineDecoder::Result::kLine) {
      pending_.add(line);
    } else if (!pending_.addLeavingOutUndecodable(line)) {
      // Bytes that are no characters, outside comments.
      std::string message = "bad text: bytes that are no characters in " + lines_.encodingName();
      if (lines_.encoding() == Encoding::kAnsi) {
        message += "; run with --codepage N for a script in code page N";
      }
      stop(message, line_);
      return;
    }
    if (!line.empty() && line.back() == '\n') ++line_;
    if (pending_.complete()) {
      evaluate(pending_.take());
      if (stopped_) return;
      firstLine_ = line_;
    }
  }
}

void Script::stop(const std::string& message, int line) {
  stopped_ = true;
  Error error{message, source_.empty() ? "" : source_ + ":" + std::to_string(line)};
  if (mode_ == Mode::kLoad) throw error;
  lisp_.report(error);
}

void Script::evaluate(const std::string& text) {
  Reader reader(lisp_, text, source_, firstLine_);
  for (;;) {
    Value form;
    Error error;
    Reader::Status status;
    try {
      status = reader.next(&form, &error);
    } catch (const std::bad_alloc&) {
      stop("insufficient memory", firstLine_);
      return;  // the rest of this text cannot be read
    }
    switch (status) {
      case Reader::Status::kForm:
        if (mode_ == Mode::kLoad) {
          last_ = lisp_.eval(form);
          break;
        }
        try {
          last_ = lisp_.evalTopLevel(form);
          if (afterForm_) afterForm_(&last_);
        } catch (const Error& e) {
          lisp_.report(e);
          if (afterForm_) afterForm_(nullptr);
        }
        break;
      case Reader::Status::kEnd:
        return;
      case Reader::Status::kIncomplete:
        if (mode_ == Mode::kLoad) throw error;
        lisp_.report(error);
        return;
      case Reader::Status::kError:
        if (mode_ == Mode::kLoad) throw error;
        lisp_.report(error);
        break;
    }
  }
}

// ---------------------------------------------------------------- Interpreter

void Interpreter::run(std::string_view text, const std::string& source) {
  Script script(*this, source, Script::Mode::kTopLevel, Encoding::kUtf8);
  script.feed(text);
  script.finish();
}

Value Interpreter::load(std::u16string_view name) {
  requireFiles();
  platform::Env& env = *platform::Env::defaultEnv();
  std::unique_ptr<platform::File> file;
  std::u16string path(name);
  platform::Status s = env.openFile(path, platform::OpenMode::kRead, &file);
  if (!s.ok() && platform::splitPath(path).ext.empty()) {
    path += u".lsp";
    s = env.openFile(path, platform::OpenMode::kRead, &file);
  }
  const std::string shown = platform::toUtf8(name);
  if (!s.ok()) fail("LOAD failed: \"" + shown + "\"");
  if (loadDepth >= kMaxLoadDepth) fail("LOAD nested too deeply: \"" + shown + "\"");
  ++loadDepth;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{loadDepth};
  // Whole forms are read and evaluated as the file's lines arrive.
  Script script(*this, platform::toUtf8(path), Script::Mode::kLoad);
  std::string chunk(1 << 16, '\0');
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (!file->read(offset, chunk.data(), chunk.size(), &got).ok()) {
      fail("LOAD failed: \"" + shown + "\"");
    }
    if (got == 0) break;
    offset += got;
    script.feed(std::string_view(chunk).substr(0, got));
  }
  return script.finish();
}

}  // namespace lisp
