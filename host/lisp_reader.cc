// Reading and printing LISP values.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "host/lisp.h"
#include "platform/platform.h"

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
      return Value::makeInt(static_cast<int32_t>(v));
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
  return Value::makeReal(x);
}

void appendEscaped(std::string* out, const std::u16string& text) {
  out->push_back('"');
  for (char16_t c : text) {
    switch (c) {
      case u'\\':
        *out += "\\\\";
        break;
      case u'"':
        *out += "\\\"";
        break;
      case u'\n':
        *out += "\\n";
        break;
      case u'\r':
        *out += "\\r";
        break;
      case u'\t':
        *out += "\\t";
        break;
      default:
        *out += platform::toUtf8(std::u16string_view(&c, 1));
    }
  }
  out->push_back('"');
}

void print(std::string* out, const Value& value, bool readable) {
  switch (value.kind) {
    case Value::Kind::kNil:
      *out += "nil";
      break;
    case Value::Kind::kT:
      *out += "T";
      break;
    case Value::Kind::kInt:
      *out += std::to_string(value.integer);
      break;
    case Value::Kind::kReal:
      *out += formatReal(value.real);
      break;
    case Value::Kind::kString:
      if (readable)
        appendEscaped(out, value.text);
      else
        *out += platform::toUtf8(value.text);
      break;
    case Value::Kind::kSymbol:
      *out += platform::toUtf8(platform::toUpperWide(value.text));
      break;
    case Value::Kind::kList:
      out->push_back('(');
      for (size_t i = 0; i < value.items.size(); ++i) {
        if (i) out->push_back(' ');
        print(out, value.items[i], readable);
      }
      out->push_back(')');
      break;
  }
}

}  // namespace

void Reader::skipBlanks() {
  while (pos_ < text_.size()) {
    if (isBlank(text_[pos_])) {
      ++pos_;
    } else if (text_[pos_] == ';') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    } else {
      break;
    }
  }
}

Reader::Status Reader::next(Value* form, std::string* message) {
  skipBlanks();
  if (pos_ >= text_.size()) return Status::kEnd;
  const size_t start = pos_;
  switch (readForm(form, message, 0)) {
    case Parse::kOk:
      return Status::kForm;
    case Parse::kIncomplete:
      pos_ = start;
      return Status::kIncomplete;
    case Parse::kError:
      return Status::kError;
  }
  return Status::kError;
}

Reader::Parse Reader::readForm(Value* form, std::string* message, int depth) {
  if (depth > kMaxDepth) {
    *message = "malformed list on input: nested too deeply";
    pos_ = text_.size();
    return Parse::kError;
  }
  skipBlanks();
  if (pos_ >= text_.size()) return Parse::kIncomplete;
  const char c = text_[pos_];
  if (c == ')') {
    ++pos_;
    *message = "extra right paren on input";
    return Parse::kError;
  }
  if (c == '\'') {
    ++pos_;
    Value quoted;
    Parse p = readForm(&quoted, message, depth + 1);
    if (p != Parse::kOk) return p;
    *form = Value::makeList({Value::makeSymbol(u"quote"), std::move(quoted)});
    return Parse::kOk;
  }
  if (c == '"') return readString(form);
  if (c == '(') {
    ++pos_;
    std::vector<Value> items;
    for (;;) {
      skipBlanks();
      if (pos_ >= text_.size()) return Parse::kIncomplete;
      if (text_[pos_] == ')') {
        ++pos_;
        *form = Value::makeList(std::move(items));
        return Parse::kOk;
      }
      Value item;
      Parse p = readForm(&item, message, depth + 1);
      if (p != Parse::kOk) return p;
      items.push_back(std::move(item));
    }
  }
  *form = readAtom();
  return Parse::kOk;
}

Reader::Parse Reader::readString(Value* form) {
  ++pos_;  // the opening quote
  std::string bytes;
  while (pos_ < text_.size()) {
    char c = text_[pos_++];
    if (c == '"') {
      *form = Value::makeString(platform::fromUtf8(bytes));
      return Parse::kOk;
    }
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
          bytes.push_back(e);  // \\, \" and any other character stand for themselves
        }
    }
  }
  return Parse::kIncomplete;
}

Value Reader::readAtom() {
  const size_t start = pos_;
  while (pos_ < text_.size() && !endsAtom(text_[pos_])) ++pos_;
  std::string_view token = text_.substr(start, pos_ - start);
  if (std::optional<Value> number = parseNumber(token)) return *number;
  std::u16string name = platform::fromUtf8(token);
  std::u16string folded = platform::toLowerWide(name);
  if (folded == u"nil") return Value::nil();
  if (folded == u"t") return Value::t();
  return Value::makeSymbol(std::move(folded));
}

std::vector<Value> readAll(std::string_view text) {
  Reader reader(text);
  std::vector<Value> forms;
  for (;;) {
    Value form;
    std::string message;
    switch (reader.next(&form, &message)) {
      case Reader::Status::kForm:
        forms.push_back(std::move(form));
        break;
      case Reader::Status::kEnd:
        return forms;
      case Reader::Status::kIncomplete:
        throw Error{"malformed list on input"};
      case Reader::Status::kError:
        throw Error{message};
    }
  }
}

std::string formatReal(double x) {
  if (std::isnan(x)) return "1.#QNAN";
  if (std::isinf(x)) return x > 0 ? "1.#INF" : "-1.#INF";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  std::string text(buffer, end);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

std::string prin1String(const Value& value) {
  std::string out;
  print(&out, value, true);
  return out;
}

std::string princString(const Value& value) {
  std::string out;
  print(&out, value, false);
  return out;
}

}  // namespace lisp
