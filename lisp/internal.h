// The objects behind lisp::Value, shared by the reader, the evaluator and
// the built-in functions.
#pragma once

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "lisp/lisp.h"
#include "platform/env.h"
#include "platform/file_writes.h"

namespace lisp {

struct StringObject : Object {
  explicit StringObject(std::u16string t);
  ~StringObject();
  // Adds to the end: only for a string nothing else refers to yet.
  void append(std::u16string_view more);
  std::u16string text;
};

using SpecialForm = Value (*)(Interpreter& lisp, const Value& forms);
using Function = Value (*)(Interpreter& lisp, std::vector<Value>& args);

// A built-in: a special form gets its forms unevaluated. Not counted. A
// special form that means something given values (and, or, progn, ...) has
// `applied` as well, for apply and mapcar.
struct Subr : Object {
  Subr(const char* n, SpecialForm s, Function a = nullptr)
      : Object(Type::kSubr), name(n), special(s), applied(a) {}
  Subr(const char* n, Function f) : Object(Type::kSubr), name(n), function(f) {}
  const char* name;
  SpecialForm special = nullptr;
  Function applied = nullptr;
  Function function = nullptr;
};

struct Usubr : Object {
  Usubr() : Object(Type::kUsubr) {}
  std::u16string name;  // empty for a lambda
  // A parameter that repeats an earlier name is null: its argument is
  // taken and not bound.
  std::vector<Symbol*> parameters, locals;
  Value body;  // the list of forms
};

struct Exsubr : Object {
  explicit Exsubr(std::u16string n) : Object(Type::kExsubr), name(std::move(n)) {}
  std::u16string name;
};

struct FileObject : Object {
  FileObject() : Object(Type::kFile) {}
  // A new file not closed is put in place all the same, as a program's
  // open files are flushed when it ends.
  ~FileObject();
  std::u16string name;
  // Reading, or appending to a file in place; null once closed.
  std::unique_ptr<platform::File> file;
  // Writing a new file, which takes the old one's place when closed; null
  // once closed.
  std::unique_ptr<platform::NewFile> made;
  platform::File* handle() const { return made ? &made->file() : file.get(); }
  bool writing = false;
  uint64_t offset = 0;  // where the next read or write goes
  // Reading: the file's lines as they are decoded, and the one being read
  // (read-char takes it a character at a time).
  LineDecoder lines;
  std::string line;
  size_t lineAt = 0;
  bool atEnd = false;
  bool skipMark = false;  // an encoding was given: a mark at the start is no text
  // Writing: the encoding, a byte-order mark still to write, and whether
  // the last character written was a CR.
  Encoding encoding = Encoding::kAnsi;
  std::string mark;
  bool afterCr = false;
};

struct CaughtError : Object {
  explicit CaughtError(std::string m) : Object(Type::kCaughtError), message(std::move(m)) {}
  std::string message;  // UTF-8
};

// Saves symbols' values and restores them on the way out, whatever way it
// takes: dynamic binding of parameters, locals and foreach variables. The
// saved values go on one stack of the interpreter's, so that binding
// allocates nothing once the stack has grown to the deepest call.
class Bindings {
 public:
  explicit Bindings(Interpreter& lisp) : saved_(lisp.savedValues), mark_(saved_.size()) {}
  Bindings(const Bindings&) = delete;
  Bindings& operator=(const Bindings&) = delete;
  ~Bindings() {
    while (saved_.size() > mark_) {
      auto& last = saved_.back();
      last.first->value = std::move(last.second);
      saved_.pop_back();
    }
  }
  void bind(Symbol* symbol, Value value) {
    saved_.emplace_back(symbol, std::move(symbol->value));
    symbol->value = std::move(value);
  }

 private:
  std::vector<std::pair<Symbol*, Value>>& saved_;
  size_t mark_;
};

// One form being evaluated: its place in error reports and in the depth
// limit.
struct Interpreter::Frame {
  Frame(Interpreter& lisp, const Cons* form);
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  Interpreter& lisp;
};

// What a document keeps beside its symbols: the system variables setvar
// changed (by upper-case name), and the blackboard vl-bb-set writes, which
// the hosts share between documents (by symbol name).
struct Interpreter::Document {
  std::map<std::u16string, Value> variables;
  std::map<std::u16string, Value> blackboard;
};

// The value of an integer system variable (LUNITS, AUPREC, DIMZIN, ...).
int32_t integerVariable(Interpreter& lisp, std::u16string_view name);

// (PARAMETERS [/ LOCALS]) and the body: a function (defun, lambda, and the
// lists defun-q makes, when called).
Value makeFunction(Interpreter& lisp, std::u16string name, const Value& forms);

// Calls a function value with evaluated arguments (apply, mapcar, *error*).
Value callFunction(Interpreter& lisp, const Value& function, std::vector<Value>& args);
// What callFunction would call for a quoted (lambda ...) or a list defun-q
// made, made once for many calls (mapcar); anything else as it is, to be
// looked up at each call.
Value preparedFunction(Interpreter& lisp, const Value& given);
// A function value, or null: a symbol's value, or a module's function.
Value functionValue(Interpreter& lisp, const Value& head);

// The host: its modules' functions, and the symbols they read.
bool isModuleFunction(const std::u16string& name);
Value callModule(Interpreter& lisp, const std::u16string& name, std::vector<Value>& args);
void writeHostOutput(std::string_view utf8);
// Whether standard output stands at the start of a line.
bool hostOutputAtLineStart();
void connectHost(Interpreter& lisp);
void disconnectHost();

// The null symbol (princ) returns, which prints as nothing.
Symbol* nullSymbol(Interpreter& lisp);
Value symbolValueOf(Symbol* symbol);

bool equalValues(const Value& a, const Value& b);
std::u16string typeName(const Value& v);

// The length of a proper list; -1 for a dotted one.
int64_t listLength(const Value& list);
// A list of the values, in order.
Value makeList(std::vector<Value> items);

}  // namespace lisp
