// A small LISP for driving the modules: a reader, a printer and an evaluator
// whose variables are the host's symbols (what zcedGetSym reads).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"

namespace lisp {

using zc::Value;

// An error that ends the top-level form being evaluated.
struct Error {
  std::string message;  // UTF-8
};

// (exit): ends the program.
struct ExitRequest {
  std::optional<int> status;
};

// Reads LISP forms from UTF-8 text.
class Reader {
 public:
  enum class Status { kForm, kEnd, kIncomplete, kError };

  explicit Reader(std::string_view text) : text_(text) {}
  // Reads the next form into *form. kEnd when only blanks and comments
  // remain; kIncomplete when the text ends inside a form or string; kError
  // with *message for text that is not LISP (the reader then stands after
  // the offending character).
  Status next(Value* form, std::string* message);
  // Bytes consumed so far.
  size_t position() const { return pos_; }

 private:
  enum class Parse { kOk, kIncomplete, kError };
  Parse readForm(Value* form, std::string* message, int depth);
  Parse readString(Value* form);
  Value readAtom();
  void skipBlanks();

  std::string_view text_;
  size_t pos_ = 0;
};

// Reads every form of `text`; throws Error on text that is not LISP.
std::vector<Value> readAll(std::string_view text);

// The printed forms of a value, in UTF-8: prin1 (readable) and princ
// (strings as they are).
std::string prin1String(const Value& value);
std::string princString(const Value& value);
// The shortest text that reads back as `x`, with a decimal point or exponent.
std::string formatReal(double x);

// Evaluates one form; throws Error or ExitRequest.
Value eval(const Value& form);
// Evaluates every form of a UTF-8 file; the value of the last.
Value loadFile(const std::string& path);

}  // namespace lisp
