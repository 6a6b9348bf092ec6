// The LISP of zchost: the dialect CAD hosts run (AutoLISP and its kin), as
// much of it as batch scripts around the modules use.
//
// Values are 32-bit integers, reals, strings, symbols, cons cells (shared,
// never copied by assignment), built-in and user functions, the modules'
// functions and open files. Symbols have one value each and are bound
// dynamically: a function's parameters and locals are saved on the call and
// restored on the way out, whatever way it takes. Cells and strings are
// counted references; freeing a long or deep structure never recurses.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lisp {

class Interpreter;
struct Object;
struct Symbol;
struct Cons;

enum class Type : uint8_t {
  kNil,
  kInt,
  kReal,
  kString,
  kSymbol,
  kCons,
  kSubr,    // a built-in function or special form
  kUsubr,   // a function made by defun or lambda
  kExsubr,  // a function of a loaded module
  kFile,
  kCaughtError,  // what vl-catch-all-apply answers for an error
};

// Whether values of a type count references to their object: symbols and
// built-ins live as long as their interpreter, numbers and nil are
// immediate.
constexpr bool isCounted(Type type) {
  return type == Type::kString || type == Type::kCons || type == Type::kUsubr ||
         type == Type::kExsubr || type == Type::kFile || type == Type::kCaughtError;
}

// What a value refers to. Objects have no virtual functions: destroy()
// frees each by its type.
struct Object {
  explicit Object(Type t);
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object();
  uint32_t refs = 1;
  Type type;
  bool located = false;  // a cell with a place in a source text (Cons)
};

// Frees an object whose last reference went.
void destroy(Object* object);

// A LISP value in one 64-bit word: a real is its own bits (a NaN whose bits
// would read as a tag is made the plain quiet NaN of its sign); anything
// else is a tag in the top 16 bits, which no other real has, with nil, a
// 32-bit integer or an object's address below it.
class Value {
  static constexpr uint64_t kTagNil = 0xFFF9, kTagInt = 0xFFFA, kTagCounted = 0xFFFB,
                            kTagObject = 0xFFFC;
  static constexpr uint64_t kNil = kTagNil << 48;
  static constexpr uint64_t kPayload = (uint64_t{1} << 48) - 1;

 public:
  Value() = default;
  Value(const Value& other) : bits_(other.bits_) {
    if (counted()) ++asObject()->refs;
  }
  Value(Value&& other) noexcept : bits_(other.bits_) { other.bits_ = kNil; }
  Value& operator=(const Value& other) {
    if (other.counted()) ++other.asObject()->refs;
    drop();
    bits_ = other.bits_;
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      drop();
      bits_ = other.bits_;
      other.bits_ = kNil;
    }
    return *this;
  }
  ~Value() { drop(); }

  static Value integer(int32_t i) {
    Value v;
    v.bits_ = kTagInt << 48 | static_cast<uint32_t>(i);
    return v;
  }
  static Value real(double r) {
    Value v;
    uint64_t bits;
    static_assert(sizeof bits == sizeof r);
    std::memcpy(&bits, &r, sizeof bits);
    if (bits >> 48 >= kTagNil) bits = uint64_t{0xFFF8} << 48;
    v.bits_ = bits;
    return v;
  }
  static Value string(std::u16string text);
  static Value object(Object* o) {  // takes a reference
    Value v;
    v.bits_ = (isCounted(o->type) ? kTagCounted : kTagObject) << 48 |
              (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(o)) & kPayload);
    return v;
  }

  Type type() const {
    const uint64_t tag = bits_ >> 48;
    if (tag < kTagNil) return Type::kReal;
    if (tag == kTagNil) return Type::kNil;
    if (tag == kTagInt) return Type::kInt;
    return asObject()->type;
  }
  bool isNil() const { return bits_ == kNil; }
  bool isInt() const { return bits_ >> 48 == kTagInt; }
  int32_t asInt() const { return static_cast<int32_t>(static_cast<uint32_t>(bits_)); }
  double asReal() const {
    double r;
    std::memcpy(&r, &bits_, sizeof r);
    return r;
  }
  Object* asObject() const {
    return reinterpret_cast<Object*>(static_cast<uintptr_t>(bits_ & kPayload));
  }
  // The object of a value that has one, else null.
  Object* objectOrNull() const { return bits_ >> 48 >= kTagCounted ? asObject() : nullptr; }
  const std::u16string& text() const;  // a string's text
  inline Symbol* symbol() const;
  inline Cons* cons() const;

 private:
  bool counted() const { return bits_ >> 48 == kTagCounted; }
  void drop() {
    if (counted()) {
      Object* o = asObject();
      if (--o->refs == 0) destroy(o);
    }
  }
  uint64_t bits_ = kNil;
};

// A cons cell. Cells come from a pool of cells of their own size, not from
// malloc one at a time.
struct Cons : Object {
  Cons(Value a, Value d) : Object(Type::kCons), car(std::move(a)), cdr(std::move(d)) {}
  ~Cons();
  static void* operator new(size_t size);
  static void operator delete(void* cell);
  Value car, cdr;
  // Where the reader found the list this cell starts, for error reports:
  // kept beside the cells, which are mostly not read from a text. Source 0
  // is none.
  struct Location {
    uint32_t line = 0;
    uint16_t source = 0;
  };
  Location location() const;
  void locate(Location where);
};

// Symbols live as long as their interpreter and are not counted; the
// interpreter makes one symbol of each name, so that symbols compare by
// their address.
struct Symbol : Object {
  explicit Symbol(std::u16string n) : Object(Type::kSymbol), name(std::move(n)) {}
  std::u16string name;  // upper case, as it prints
  Value value;
  bool constant = false;  // nil, T and pi cannot be set
};

inline Symbol* Value::symbol() const {
  return static_cast<Symbol*>(asObject());
}
inline Cons* Value::cons() const {
  return static_cast<Cons*>(asObject());
}

// nil for nil; v must be a list.
inline Value car(const Value& v) {
  return v.type() == Type::kCons ? v.cons()->car : Value();
}
inline Value cdr(const Value& v) {
  return v.type() == Type::kCons ? v.cons()->cdr : Value();
}
inline Value cons(Value a, Value d) {
  return Value::object(new Cons(std::move(a), std::move(d)));
}

// An error that ends the top-level form being evaluated.
struct Error {
  std::string message;  // UTF-8, as the dialect words it: "bad argument type: consp 1"
  std::string where;    // "s.lsp:3", or empty when not known
  // Cancelled by the user (Ctrl-C): vl-catch-all-apply does not stop it.
  bool cancelled = false;
  // "; error: MESSAGE (WHERE)"
  std::string report() const;
};

// (exit) and (quit): end the program.
struct ExitRequest {
  bool given = false;
  int32_t status = 0;
};

// Reads forms from UTF-8 text, numbering lines for error reports.
class Reader {
 public:
  enum class Status { kForm, kEnd, kIncomplete, kError };
  // `source` names the text in reports; `firstLine` is the line number of
  // its first line.
  Reader(Interpreter& lisp, std::string_view text, std::string source = "", int firstLine = 1);
  // Reads the next form into *form. kEnd when only blanks and comments
  // remain; kIncomplete when the text ends inside a form, string or comment;
  // kError with *error for text that is not LISP (the reader then stands
  // after the offending character). *error says where a kIncomplete form or
  // string began.
  Status next(Value* form, Error* error);

 private:
  enum class Parse { kOk, kIncomplete, kError };
  Parse readForm(Value* form, Error* error, int depth);
  Parse readString(Value* form);
  Parse readList(Value* form, Error* error, int depth);
  Value readAtom();
  bool skipBlanks();  // false when the text ends inside a comment
  void fail(Error* error, std::string message);

  Interpreter& lisp_;
  std::string_view text_;
  size_t pos_ = 0;
  uint16_t source_;
  int line_;
  int stringLine_ = 0;  // where a string the text ended in began
};

// Collects lines of input until they end outside any form, string or comment,
// looking at each byte once: reading a long form line by line stays linear.
class FormCollector {
 public:
  void add(std::string_view text);
  // Adds a line in which the byte 0xFF stands for a byte that was no
  // character (LineDecoder's kBad). Such bytes inside comments are left out,
  // as the hosts skip comments; false when one stands anywhere else (in a
  // string, a symbol, between forms), the line then added in part.
  bool addLeavingOutUndecodable(std::string_view text);
  // True when the collected text ends between forms.
  bool complete() const { return depth_ <= 0 && !inString_ && !inBlockComment_; }
  bool empty() const { return text_.find_first_not_of(" \t\r\n\f") == std::string::npos; }
  const std::string& text() const { return text_; }
  // Takes the collected text; the collector starts afresh.
  std::string take();

 private:
  std::string text_;
  int depth_ = 0;
  bool inString_ = false, escape_ = false;
  bool inComment_ = false, inBlockComment_ = false, commentJustOpened_ = false;
  char previous_ = 0;
};

// How a text's bytes are characters. kDetect: UTF-8 after a UTF-8 mark,
// UTF-16 after its mark, else UTF-8 when the bytes are valid UTF-8, else
// the ANSI code page.
enum class Encoding { kDetect, kUtf8, kUtf16Le, kUtf16Be, kAnsi };

// Splits bytes into lines of UTF-8 as they arrive, whatever the text's
// encoding: the decoding behind scripts and read-line. Undecided text is
// decided at its first line that is not ASCII, from all the bytes given so
// far, so that a stream is never held back longer than one piece.
class LineDecoder {
 public:
  explicit LineDecoder(Encoding encoding = Encoding::kDetect)
      : encoding_(encoding), markChecked_(encoding != Encoding::kDetect) {}
  // Adds bytes.
  void add(std::string_view bytes);
  // No more bytes will come.
  void end();
  // The next whole line in UTF-8, its '\n' kept (the last line of an ended
  // text may have none). kNone when no whole line is there yet, kBad for a
  // line whose bytes are no characters in the text's encoding: *line then
  // holds what is characters, and the byte 0xFF, which no UTF-8 holds, for
  // each byte that is none.
  enum class Result { kLine, kNone, kBad };
  Result next(std::string* line);
  // Bytes given and not yet returned as lines.
  size_t buffered() const { return raw_.size() - consumed_; }
  Encoding encoding() const { return encoding_; }
  // "UTF-8", "UTF-16", or "code page 950".
  std::string encodingName() const;

 private:
  bool decide();
  void checkMark();
  Encoding encoding_;
  bool markChecked_;
  bool ended_ = false;
  std::string raw_;  // bytes (UTF-8 converted from UTF-16), from `consumed_` on
  size_t consumed_ = 0, scanned_ = 0;
  std::string odd_;  // UTF-16 bytes not yet converted
};

// Evaluates a LISP text as its pieces arrive: the one read-evaluate loop for
// script files, -e, standard input and load. Whole forms are evaluated in
// order; the text is decoded as LineDecoder does.
class Script {
 public:
  enum class Mode {
    kTopLevel,  // errors are reported and the next form runs (scripts, -e)
    kLoad,      // the first error ends the text and is thrown (load)
  };
  // `source` names the text in reports ("" for none).
  Script(Interpreter& lisp, std::string source, Mode mode, Encoding encoding = Encoding::kDetect);
  // Called after each top-level form with its value, or null after an error.
  void afterForm(std::function<void(const Value*)> hook) { afterForm_ = std::move(hook); }
  // Adds the next piece of the text and evaluates the forms it completes.
  // False once the text has stopped for good (bytes that are no text, a
  // line without end): later pieces are ignored.
  bool feed(std::string_view bytes);
  // The text has ended: evaluates what is left. The value of the last form.
  Value finish();
  // Whether a form has begun and not ended (the prompt shows it).
  bool midForm() const { return !pending_.empty(); }
  // Drops the lines of a form not yet ended (Ctrl-C at a prompt).
  void dropPending() {
    pending_ = FormCollector();
    firstLine_ = line_;
  }

 private:
  void takeLines();
  void evaluate(const std::string& text);
  void stop(const std::string& message, int line);
  Interpreter& lisp_;
  std::string source_;
  Mode mode_;
  LineDecoder lines_;
  FormCollector pending_;
  int line_ = 1, firstLine_ = 1;
  bool stopped_ = false;
  Value last_;
  std::function<void(const Value*)> afterForm_;
};

// How reals are printed: as the hosts print them, six significant digits
// with a decimal point kept ("100.0", "1.23457e+06", "1.0e-05"); or
// exactly, in the shortest text that reads back as the same real
// ("1.2100000000000002"). Infinities and NaN print "1.#INF", "-1.#INF" and
// "1.#QNAN" either way.
enum class Reals { kHost, kExact };

// The printed forms of a value, in UTF-8: prin1 (readable) and princ
// (strings as they are).
std::string prin1String(const Value& value, Reals reals = Reals::kHost);
std::string princString(const Value& value, Reals reals = Reals::kHost);
std::string formatReal(double x, Reals reals = Reals::kHost);

// Cancelling what runs, as Ctrl-C (Esc in the hosts) does: the form being
// evaluated ends at its next step in the error "Function cancelled". Safe to
// call from a signal handler.
void requestCancel();
// Takes a pending cancel request: true when there was one.
bool takeCancel();
namespace detail {
extern std::atomic<bool> cancelRequested;
}  // namespace detail

// What the get functions (getint, getstring, getpoint, ...) read typed input
// from: a function that shows a prompt (UTF-8) and reads one line into
// *line, without its end.
enum class InputStatus {
  kLine,
  kEnd,        // no more input: the request answers nil, as a cancelled one does
  kCancelled,  // Ctrl-C while waiting
};
using InputSource = std::function<InputStatus(std::string_view prompt, std::string* line)>;

// Limits for untrusted scripts (the fuzzer): evaluation steps, live objects
// and the bytes of live strings (0: no limit), and whether files (open,
// load, read-line) may be used.
struct Limits {
  uint64_t steps = 0;
  uint64_t objects = 0;
  uint64_t stringBytes = 0;
  bool files = true;
};

class Interpreter {
 public:
  Interpreter();
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Evaluates one form; throws Error or ExitRequest. Numbers, strings and
  // bound symbols are answered here; a call goes on to evalCall.
  Value eval(const Value& form) {
    count();
    Object* object = form.objectOrNull();
    if (!object) return form;
    if (object->type == Type::kSymbol) {
      const Value& value = static_cast<Symbol*>(object)->value;
      if (!value.isNil()) return value;
      return evalUnbound(form);
    }
    if (object->type == Type::kCons) return evalCall(form);
    return form;
  }
  // Evaluates a top-level form as a script does: an error goes to *error*
  // when the script defined it, then on as an Error.
  Value evalTopLevel(const Value& form);
  // Evaluates every form of a file (found as the modules find files), the
  // value of the last. Throws Error when the file cannot be read.
  Value load(std::u16string_view name);
  // Evaluates every form of UTF-8 text; reports and counts each error.
  void run(std::string_view text, const std::string& source);

  Symbol* intern(std::u16string_view name);
  // The symbol of that name, or null when there is none yet.
  Symbol* findSymbol(std::u16string_view name);
  // A symbol's name, upper case.
  static const std::u16string& nameOf(const Symbol* symbol);
  // Calls `f` for every symbol, in the order they were made.
  void forEachSymbol(const std::function<void(Symbol*)>& f);
  Symbol* trueSymbol() const { return true_; }
  // The value of a symbol, nil when unbound; host symbols ($acad_code) read
  // through this.
  Value symbolValue(std::u16string_view name);

  void setLimits(Limits limits) {
    limits_ = limits;
    limited_ = limits.steps != 0 || limits.objects != 0;
  }
  // For tests: top-level forms and function bodies run prepared from their
  // first evaluation (bodies otherwise from their second call), which must
  // answer as the forms do read.
  void setPrepareFirst(bool on) { prepareFirst_ = on; }
  bool prepareFirst() const { return prepareFirst_; }
  // How princ, prin1, print and the vl-*-to-string functions print reals.
  void setReals(Reals reals) { reals_ = reals; }
  Reals reals() const { return reals_; }
  // Where printed text goes (standard output, in order with the modules').
  void setOutput(std::function<void(std::string_view)> output) { output_ = std::move(output); }
  void write(std::string_view utf8) { output_(utf8); }
  // Where the get functions read from; without one they answer nil at once.
  void setInput(InputSource input) { input_ = std::move(input); }
  // Where errors a script did not handle are reported (standard error).
  void setErrorOutput(std::function<void(const Error&)> report) { report_ = std::move(report); }
  void report(const Error& error) { report_(error); }
  bool failed() const { return failed_; }

  // Throws an Error at the form being evaluated.
  [[noreturn]] void fail(std::string message);
  [[noreturn]] void badType(const char* predicate, const Value& value);
  // Fails when `bytes` more of strings would pass the limit.
  void reserveString(uint64_t bytes);
  // Fails when the limits forbid files.
  void requireFiles();

  // Book-keeping of the evaluator, for its own parts.
  uint16_t sourceId(const std::string& name);
  const std::string& sourceName(uint16_t id) const { return sources_[id]; }
  struct Frame;
  // One evaluation step.
  void count() {
    ++steps_;
    if (limited_ || detail::cancelRequested.load(std::memory_order_relaxed)) checkLimits();
  }
  int loadDepth = 0;
  // The values of symbols bound by the calls being evaluated, innermost
  // last (Bindings).
  std::vector<std::pair<Symbol*, Value>> savedValues;
  // The forms being evaluated, outermost first (the backtrace).
  const std::vector<const Cons*>& formsBeingEvaluated() const { return forms_; }
  // What the document keeps beside its symbols: system variables and the
  // blackboard.
  struct Document;
  Document& document() { return *document_; }
  // Throws the error of a cancelled form.
  [[noreturn]] void cancel();
  // The state of the get functions: what initget set for the next request,
  // what was typed after a space that ended a getstring, and the last point
  // entered (the base of @ input).
  struct Prompting {
    int32_t bits = 0;
    std::u16string keywords;
    std::string typeAhead;
    double lastPoint[3] = {0, 0, 0};
  };
  Prompting prompting;
  // Shows `prompt` and reads a line of typed input (what a space left over
  // first).
  InputStatus readInput(std::string_view prompt, std::string* line);

 private:
  friend struct Frame;
  friend struct Prepared;
  Value evalCall(const Value& form);
  Value evalUnbound(const Value& symbol);
  // Calls a function value with the arguments evaluated into an argument
  // list of the call's depth by `evaluate`.
  template <typename Evaluate>
  Value callWith(const Value& function, Evaluate&& evaluate);
  std::vector<std::unique_ptr<Symbol>> symbols_;
  std::vector<std::string> sources_;
  std::vector<const Cons*> forms_;  // the forms being evaluated, innermost last
  void checkLimits();
  Limits limits_;
  bool limited_ = false;
  uint64_t steps_ = 0;
  uintptr_t stackLimit_ = 0;  // frames below this address are refused
  // The argument lists of the calls being evaluated, one for each depth of
  // calls, kept for the next call at that depth.
  std::vector<std::unique_ptr<std::vector<Value>>> argLists_;
  size_t argDepth_ = 0;
  int depth_ = 0;
  bool failed_ = false;
  bool prepareFirst_ = false;
  Reals reals_ = Reals::kHost;
  std::function<void(std::string_view)> output_;
  std::function<void(const Error&)> report_;
  InputSource input_;
  void* symbolTable_ = nullptr;  // name -> symbol
  Symbol* true_ = nullptr;
  std::unique_ptr<Document> document_;
  friend Value evalForm(Interpreter&, const Value&);
};

// The number of objects alive, and the bytes of their strings (for tests
// and limits).
uint64_t liveObjects();
uint64_t liveStringBytes();

}  // namespace lisp
