// Reading LISP text.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "internal.h"
#include "platform/text.h"

namespace lisp {
namespace {

constexpr int kMaxDepth = 1000;

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool endsAtom(char c) {
  return isBlank(c) || c == '(' || c == ')' || c == '\'' || c == '"' || c == ';';
}

std::optional<Value> parseNumber(std::string_view token) {
  std::string_view digits = token;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  bool integral = true;
  for (char c : digits) {
    if (c < '0' || c > '9') integral = false;
  }
  if (integral) {
    int64_t v = 0;
    bool overflow = false;
    for (char c : digits) {
      if (v > (INT64_MAX - 9) / 10) overflow = true;
      if (!overflow) v = v * 10 + (c - '0');
    }
    if (token[0] == '-') v = -v;
    if (!overflow && v >= INT32_MIN && v <= INT32_MAX) {
      return Value::integer(static_cast<int32_t>(v));
    }
    // Integers beyond 32 bits read as reals.
  }
  // A real needs a digit before any exponent: ".5", "1.", "1e3".
  if (!(digits[0] >= '0' && digits[0] <= '9') &&
      !(digits[0] == '.' && digits.size() > 1 && digits[1] >= '0' && digits[1] <= '9')) {
    return std::nullopt;
  }
  std::string text(token[0] == '+' ? token.substr(1) : token);
  double x = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    x = std::strtod(text.c_str(), nullptr);  // overflow to infinity, underflow to zero
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return Value::real(x);
}

}  // namespace

Reader::Reader(Interpreter& lisp, std::string_view text, std::string source, int firstLine)
    : lisp_(lisp), text_(text), source_(lisp.sourceId(source)), line_(firstLine) {}

void Reader::fail(Error* error, std::string message) {
  error->message = std::move(message);
  const std::string& source = lisp_.sourceName(source_);
  error->where = source.empty() ? "" : source + ":" + std::to_string(line_);
}

bool Reader::skipBlanks() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (isBlank(c)) {
      if (c == '\n') ++line_;
      ++pos_;
    } else if (c == ';' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '|') {
      // ;| a comment that may span lines |;
      const size_t end = text_.find("|;", pos_ + 2);
      if (end == std::string_view::npos) return false;
      for (size_t i = pos_; i < end; ++i) line_ += text_[i] == '\n';
      pos_ = end + 2;
    } else if (c == ';') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    } else {
      break;
    }
  }
  return true;
}

Reader::Status Reader::next(Value* form, Error* error) {
  const size_t start = pos_;
  const int startLine = line_;
  if (!skipBlanks()) {
    pos_ = start;
    line_ = startLine;
    fail(error, "malformed comment on input");
    return Status::kIncomplete;
  }
  if (pos_ >= text_.size()) return Status::kEnd;
  const size_t formStart = pos_;
  const int formLine = line_;
  switch (readForm(form, error, 0)) {
    case Parse::kOk:
      return Status::kForm;
    case Parse::kIncomplete:
      // The text ended inside the form: the report names the line where
      // the unclosed string, or else the form, began.
      line_ = stringLine_ > 0 ? stringLine_ : formLine;
      fail(error, stringLine_ > 0 ? "malformed string on input" : "malformed list on input");
      pos_ = formStart;
      line_ = formLine;
      stringLine_ = 0;
      return Status::kIncomplete;
    case Parse::kError:
      return Status::kError;
  }
  return Status::kError;
}

Reader::Parse Reader::readForm(Value* form, Error* error, int depth) {
  if (depth > kMaxDepth) {
    fail(error, "malformed list on input: nested too deeply");
    pos_ = text_.size();
    return Parse::kError;
  }
  if (!skipBlanks() || pos_ >= text_.size()) return Parse::kIncomplete;
  const char c = text_[pos_];
  if (c == ')') {
    ++pos_;
    fail(error, "extra right paren on input");
    return Parse::kError;
  }
  if (c == '\'') {
    ++pos_;
    Value quoted;
    Parse p = readForm(&quoted, error, depth + 1);
    if (p != Parse::kOk) return p;
    *form = cons(Value::object(lisp_.intern(u"QUOTE")), cons(std::move(quoted), Value()));
    return Parse::kOk;
  }
  if (c == '"') return readString(form);
  if (c == '(') return readList(form, error, depth);
  if (c == '.' && (pos_ + 1 == text_.size() || endsAtom(text_[pos_ + 1]))) {
    ++pos_;
    fail(error, "malformed list on input: a dot out of place");
    return Parse::kError;
  }
  *form = readAtom();
  return Parse::kOk;
}

Reader::Parse Reader::readList(Value* form, Error* error, int depth) {
  const int line = line_;
  ++pos_;  // (
  std::vector<Value> items;
  Value tail;
  for (;;) {
    if (!skipBlanks() || pos_ >= text_.size()) return Parse::kIncomplete;
    if (text_[pos_] == ')') {
      ++pos_;
      break;
    }
    // A dotted pair: " . " before the last form.
    if (text_[pos_] == '.' && !items.empty() && pos_ + 1 < text_.size() &&
        endsAtom(text_[pos_ + 1])) {
      ++pos_;
      Parse p = readForm(&tail, error, depth + 1);
      if (p != Parse::kOk) return p;
      if (!skipBlanks() || pos_ >= text_.size()) return Parse::kIncomplete;
      if (text_[pos_] != ')') {
        fail(error, "malformed list on input: a dotted pair ends its list");
        return Parse::kError;
      }
      ++pos_;
      break;
    }
    Value item;
    Parse p = readForm(&item, error, depth + 1);
    if (p != Parse::kOk) return p;
    items.push_back(std::move(item));
  }
  Value list = std::move(tail);
  for (auto it = items.rbegin(); it != items.rend(); ++it) list = cons(std::move(*it), list);
  if (list.type() == Type::kCons && source_ != 0) {
    list.cons()->locate({static_cast<uint32_t>(line), source_});
  }
  *form = std::move(list);
  return Parse::kOk;
}

Reader::Parse Reader::readString(Value* form) {
  ++pos_;  // the opening quote
  std::string bytes;
  int lines = 0;
  while (pos_ < text_.size()) {
    // Plain text up to the next quote, backslash or line end, at once.
    size_t run = pos_;
    while (run < text_.size() && text_[run] != '"' && text_[run] != '\\' && text_[run] != '\n' &&
           text_[run] != '\r') {
      ++run;
    }
    bytes.append(text_.substr(pos_, run - pos_));
    pos_ = run;
    if (pos_ >= text_.size()) break;
    char c = text_[pos_++];
    if (c == '"') {
      line_ += lines;
      *form = Value::string(platform::fromUtf8(bytes));
      return Parse::kOk;
    }
    if (c == '\n') ++lines;
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') continue;  // CR LF reads as LF
    if (c != '\\') {
      bytes.push_back(c);
      continue;
    }
    if (pos_ >= text_.size()) break;
    char e = text_[pos_++];
    switch (e) {
      case 'n':
        bytes.push_back('\n');
        break;
      case 'r':
        bytes.push_back('\r');
        break;
      case 't':
        bytes.push_back('\t');
        break;
      case 'e':
        bytes.push_back('\x1b');
        break;
      default:
        if (e >= '0' && e <= '7') {
          unsigned code = static_cast<unsigned>(e - '0');
          for (int i = 0; i < 2 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7';
               ++i) {
            code = code * 8 + static_cast<unsigned>(text_[pos_++] - '0');
          }
          bytes += platform::toUtf8(std::u16string(1, static_cast<char16_t>(code)));
        } else {
          if (e == '\n') ++lines;
          bytes.push_back(e);  // \\, \" and any other character stand for themselves
        }
    }
  }
  stringLine_ = line_;
  return Parse::kIncomplete;
}

Value Reader::readAtom() {
  const size_t start = pos_;
  while (pos_ < text_.size() && !endsAtom(text_[pos_])) ++pos_;
  std::string_view token = text_.substr(start, pos_ - start);
  if (std::optional<Value> number = parseNumber(token)) return *number;
  const std::u16string name = platform::toUpperWide(platform::fromUtf8(token));
  if (name == u"NIL") return Value();
  return Value::object(lisp_.intern(name));
}

void FormCollector::add(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool opened = false;
    if (inString_ && !escape_ && c != '\\' && c != '"') {
      // The inside of a string, up to its next quote or backslash, at once.
      size_t next = i;
      while (next < text.size() && text[next] != '\\' && text[next] != '"') ++next;
      i = next - 1;
      commentJustOpened_ = false;
      previous_ = text[i];
      continue;
    }
    if (inBlockComment_) {
      if (previous_ == '|' && c == ';') inBlockComment_ = false;
    } else if (inComment_) {
      if (c == '|' && commentJustOpened_) {
        // ";|" opens a comment that ends at "|;", across lines.
        inComment_ = false;
        inBlockComment_ = true;
        c = 0;  // ";|;" does not end the comment it opens
      } else if (c == '\n') {
        inComment_ = false;
      }
    } else if (inString_) {
      if (escape_) {
        escape_ = false;
      } else if (c == '\\') {
        escape_ = true;
      } else if (c == '"') {
        inString_ = false;
      }
    } else if (c == ';') {
      inComment_ = true;
      opened = true;
    } else if (c == '"') {
      inString_ = true;
    } else if (c == '(') {
      ++depth_;
    } else if (c == ')') {
      --depth_;
    }
    // Only the ';' that opens a comment can make it ";|": a ";|" inside a
    // ';' comment is text of that comment, which ends at its line.
    commentJustOpened_ = opened;
    previous_ = c;
  }
  text_.append(text);
}

bool FormCollector::addLeavingOutUndecodable(std::string_view text) {
  for (size_t bad = text.find('\xFF'); bad != std::string_view::npos; bad = text.find('\xFF')) {
    add(text.substr(0, bad));
    if (!inComment_ && !inBlockComment_) return false;
    text.remove_prefix(bad + 1);
  }
  add(text);
  return true;
}

std::string FormCollector::take() {
  std::string text = std::move(text_);
  *this = FormCollector();
  return text;
}

}  // namespace lisp
