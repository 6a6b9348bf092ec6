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

// A list of forms prepared to run again and again: each form turned once
// into a tree of nodes that know what kind of form they are (a constant, a
// symbol, a call, if, setq, ...), with the symbols found, so that running
// them walks no list and asks nothing twice. A special form is taken for
// one while its name still names it; otherwise the node runs the form as
// it reads.
struct PreparedForms;
struct PreparedFormsDelete {
  void operator()(PreparedForms* forms) const;
};
using PreparedFormsPtr = std::unique_ptr<PreparedForms, PreparedFormsDelete>;
PreparedFormsPtr prepareForms(const Value& forms);
// Runs prepared forms, from `from` up to `to`, as progn would: the value of
// the last.
Value runPrepared(Interpreter& lisp, const PreparedForms& forms, size_t from = 0,
                  size_t to = SIZE_MAX);

struct Usubr : Object {
  Usubr() : Object(Type::kUsubr) {}
  std::u16string name;  // empty for a lambda
  // A parameter that repeats an earlier name is null: its argument is
  // taken and not bound.
  std::vector<Symbol*> parameters, locals;
  Value body;                 // the list of forms
  PreparedFormsPtr prepared;  // the body, once it is called a second time
  uint32_t calls = 0;
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

#if defined(_MSC_VER) && !defined(__clang__)
#define ZC_ALWAYS_INLINE __forceinline
#else
#define ZC_ALWAYS_INLINE __attribute__((always_inline))
#endif

// One form being evaluated: its place in error reports and in the depth
// limit.
struct Interpreter::Frame {
  ZC_ALWAYS_INLINE Frame(Interpreter& l, const Cons* form) : lisp(l) {
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (lisp.depth_ == 0) begin(lisp, here);
    if (++lisp.depth_ > kMaxDepth || here < lisp.stackLimit_) overflow(lisp);
    lisp.forms_.push_back(form);
  }
  ~Frame() {
    lisp.forms_.pop_back();
    --lisp.depth_;
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  Interpreter& lisp;

 private:
  // The depth is bounded as well as the stack, for a platform that cannot
  // tell its stack.
  static constexpr int kMaxDepth = 1000000;
  // A top-level form begins.
  static void begin(Interpreter& lisp, uintptr_t here);
  [[noreturn]] static void overflow(Interpreter& lisp);
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

// Calls a function made by defun or lambda with evaluated arguments, which
// it takes.
Value callUsubr(Interpreter& lisp, Usubr* f, std::span<Value> args);

// Calls a function value with evaluated arguments (apply, mapcar, *error*).
Value callFunction(Interpreter& lisp, const Value& function, std::vector<Value>& args);
// What callFunction would call for a quoted (lambda ...) or a list defun-q
// made, made once for many calls (mapcar); anything else as it is, to be
// looked up at each call.
Value preparedFunction(Interpreter& lisp, const Value& given);
// A function value, or null: a symbol's value, or a module's function.
Value functionValue(Interpreter& lisp, const Value& head);

template <typename Evaluate>
Value Interpreter::callWith(const Value& function, Evaluate&& evaluate) {
  // Argument lists are reused: a call allocates nothing for them.
  if (argDepth_ == argLists_.size()) argLists_.push_back(std::make_unique<std::vector<Value>>());
  struct InUse {
    Interpreter& lisp;
    std::vector<Value>& args;
    ~InUse() {
      args.clear();
      --lisp.argDepth_;
    }
  } inUse{*this, *argLists_[argDepth_++]};
  std::vector<Value>& args = inUse.args;
  evaluate(args);
  if (function.type() == Type::kUsubr) {
    return callUsubr(*this, static_cast<Usubr*>(function.asObject()), args);
  }
  if (function.type() == Type::kSubr && static_cast<Subr*>(function.asObject())->function) {
    return static_cast<Subr*>(function.asObject())->function(*this, args);
  }
  return callFunction(*this, function, args);
}

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
