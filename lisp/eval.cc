// The evaluator: symbols, calls, special forms, the modules' functions, and
// loading files.
#include <algorithm>
#include <map>
#include <new>
#include <stdexcept>

#include "library.h"
#include "platform/stack.h"
#include "platform/text.h"

namespace lisp {
namespace {

// Evaluation stops with "LISP stack overflow" when fewer bytes than this
// are left of the native stack: enough for any built-in's own calls.
constexpr size_t kStackReserve = size_t{256} << 10;

using SymbolTable = std::map<std::u16string, Symbol*>;

std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

}  // namespace

// ---------------------------------------------------------------- calls

void Interpreter::Frame::begin(Interpreter& lisp, uintptr_t here) {
  // Where the stack ends, found again for each top-level form: the thread
  // may differ.
  const size_t left = platform::stackLeft();
  lisp.stackLimit_ = left == SIZE_MAX ? 0 : here - left + kStackReserve;
  // What a deep recursion left of argument lists goes.
  constexpr size_t kKeptArgLists = 64;
  if (lisp.argLists_.size() > kKeptArgLists && lisp.argDepth_ <= kKeptArgLists) {
    lisp.argLists_.resize(kKeptArgLists);
  }
}

void Interpreter::Frame::overflow(Interpreter& lisp) {
  --lisp.depth_;
  lisp.fail("LISP stack overflow");
}

Value callFunction(Interpreter& lisp, const Value& given, std::vector<Value>& args) {
  // A quoted name stands for its function, and a quoted (lambda ...) is one.
  Value function = given;
  if (given.type() == Type::kSymbol) {
    function = functionValue(lisp, given);
  } else if (given.type() == Type::kCons && car(given).type() == Type::kSymbol &&
             car(given).symbol()->name == u"LAMBDA") {
    function = lisp.eval(given);
  }
  if (function.type() == Type::kCons && isList(car(function))) {
    function = makeFunction(lisp, u"", function);  // a list defun-q made
  }
  switch (function.type()) {
    case Type::kSubr: {
      auto* subr = static_cast<Subr*>(function.asObject());
      if (subr->function) return subr->function(lisp, args);
      if (subr->applied) return subr->applied(lisp, args);
      break;  // this special form takes forms, not values
    }
    case Type::kUsubr:
      return callUsubr(lisp, static_cast<Usubr*>(function.asObject()), args);
    case Type::kExsubr:
      return callModule(lisp, static_cast<Exsubr*>(function.asObject())->name, args);
    default:
      break;
  }
  lisp.fail("bad function: " + prin1String(given, lisp.reals()));
}

Value preparedFunction(Interpreter& lisp, const Value& given) {
  if (given.type() == Type::kCons && car(given).type() == Type::kSymbol &&
      car(given).symbol()->name == u"LAMBDA") {
    return lisp.eval(given);
  }
  if (given.type() == Type::kCons && isList(car(given))) return makeFunction(lisp, u"", given);
  return given;
}

Value functionValue(Interpreter& lisp, const Value& head) {
  (void)lisp;
  if (head.type() != Type::kSymbol) return Value();
  Symbol* symbol = head.symbol();
  if (!symbol->value.isNil()) return symbol->value;
  if (isModuleFunction(symbol->name)) return Value::object(new Exsubr(symbol->name));
  return Value();
}

Symbol* nullSymbol(Interpreter& lisp) {
  return lisp.intern(u"");
}

Value symbolValueOf(Symbol* symbol) {
  return symbol->value;
}

// ---------------------------------------------------------------- Interpreter

Interpreter::Interpreter()
    : output_([](std::string_view text) { writeHostOutput(text); }), report_([](const Error&) {}) {
  symbolTable_ = new SymbolTable;
  document_ = std::make_unique<Document>();
  sources_.emplace_back();  // 0: no source
  // Each family of built-in functions registers its table.
  for (auto family :
       {specialForms, numberFunctions, unitFunctions, predicateFunctions, listFunctions,
        stringFunctions, systemFunctions, fileFunctions, vlListFunctions, vlStringFunctions,
        vlFileFunctions, variableFunctions, measureFunctions, inputFunctions}) {
    for (const Subr& subr : family()) {
      intern(platform::fromUtf8(subr.name))->value = Value::object(const_cast<Subr*>(&subr));
    }
  }
  true_ = intern(u"T");
  true_->value = Value::object(true_);
  true_->constant = true;
  Symbol* pi = intern(u"PI");
  pi->value = Value::real(3.141592653589793);
  pi->constant = true;
  connectHost(*this);
}

Interpreter::~Interpreter() {
  disconnectHost();
  // Values may refer to symbols; clear them all before any symbol goes.
  for (auto& symbol : symbols_) symbol->value = Value();
  document_.reset();
  delete static_cast<SymbolTable*>(symbolTable_);
}

Symbol* Interpreter::intern(std::u16string_view name) {
  auto& table = *static_cast<SymbolTable*>(symbolTable_);
  std::u16string key = platform::toUpperWide(name);
  auto it = table.find(key);
  if (it != table.end()) return it->second;
  symbols_.push_back(std::make_unique<Symbol>(key));
  table.emplace(std::move(key), symbols_.back().get());
  return symbols_.back().get();
}

void Interpreter::forEachSymbol(const std::function<void(Symbol*)>& f) {
  for (auto& symbol : symbols_) f(symbol.get());
}

Symbol* Interpreter::findSymbol(std::u16string_view name) {
  auto& table = *static_cast<SymbolTable*>(symbolTable_);
  auto it = table.find(platform::toUpperWide(name));
  return it == table.end() ? nullptr : it->second;
}

Value Interpreter::symbolValue(std::u16string_view name) {
  return intern(name)->value;
}

uint16_t Interpreter::sourceId(const std::string& name) {
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (sources_[i] == name) return static_cast<uint16_t>(i);
  }
  if (sources_.size() >= 0xFFFF) return 0;
  sources_.push_back(name);
  return static_cast<uint16_t>(sources_.size() - 1);
}

void Interpreter::fail(std::string message) {
  Error error;
  error.message = std::move(message);
  // The innermost form read from a file or text.
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
    const Cons::Location at = (*it)->location();
    if (at.source != 0) {
      error.where = sources_[at.source] + ":" + std::to_string(at.line);
      break;
    }
  }
  throw error;
}

void Interpreter::badType(const char* predicate, const Value& value) {
  fail(std::string("bad argument type: ") + predicate + (*predicate ? " " : "") +
       prin1String(value, reals_));
}

void Interpreter::reserveString(uint64_t bytes) {
  if (limits_.stringBytes && liveStringBytes() + bytes > limits_.stringBytes) {
    fail("memory limit reached");
  }
}

void Interpreter::requireFiles() {
  if (!limits_.files) fail("files are not available here");
}

namespace detail {
std::atomic<bool> cancelRequested{false};
}  // namespace detail

void requestCancel() {
  detail::cancelRequested.store(true, std::memory_order_relaxed);
}

bool takeCancel() {
  return detail::cancelRequested.exchange(false);
}

void Interpreter::cancel() {
  try {
    fail("Function cancelled");
  } catch (Error& error) {
    error.cancelled = true;
    throw;
  }
}

InputStatus Interpreter::readInput(std::string_view prompt, std::string* line) {
  if (!prompting.typeAhead.empty()) {
    write(prompt);
    line->swap(prompting.typeAhead);
    prompting.typeAhead.clear();
    return InputStatus::kLine;
  }
  if (!input_) return InputStatus::kEnd;
  return input_(prompt, line);
}

const std::u16string& Interpreter::nameOf(const Symbol* symbol) {
  return symbol->name;
}

void Interpreter::checkLimits() {
  if (takeCancel()) cancel();
  if (limits_.steps && steps_ > limits_.steps) fail("evaluation limit reached");
  if (limits_.objects && liveObjects() > limits_.objects) fail("memory limit reached");
}

Value Interpreter::evalUnbound(const Value& symbol) {
  // A module's function is the value of its name.
  return functionValue(*this, symbol);
}

Value Interpreter::evalCall(const Value& form) {
  Frame frame(*this, form.cons());
  const Value& head = form.cons()->car;
  Value function;
  if (head.type() == Type::kSymbol && !head.symbol()->value.isNil()) {
    function = head.symbol()->value;
  } else {
    function = head.type() == Type::kCons ? eval(head) : functionValue(*this, head);
  }
  if (function.isNil()) {
    if (head.type() == Type::kSymbol) fail("no function definition: " + utf8(head.symbol()->name));
    fail("bad function: " + prin1String(head, reals_));
  }
  const Value& forms = form.cons()->cdr;
  if (function.type() == Type::kSubr) {
    auto* subr = static_cast<Subr*>(function.asObject());
    if (subr->special) return subr->special(*this, forms);
  }
  return callWith(function, [&](std::vector<Value>& args) {
    for (const Value* at = &forms; at->type() == Type::kCons; at = &at->cons()->cdr) {
      args.push_back(eval(at->cons()->car));
    }
  });
}

Value Interpreter::evalTopLevel(const Value& form) {
  try {
    // Memory running out is an error of the form, as in the CAD hosts: the
    // next form runs.
    try {
      if (prepareFirst_) return runPrepared(*this, *prepareForms(cons(form, Value())));
      return eval(form);
    } catch (const std::bad_alloc&) {
      throw Error{"insufficient memory", ""};
    } catch (const std::length_error&) {
      throw Error{"insufficient memory", ""};
    }
  } catch (const Error& error) {
    failed_ = true;
    // A script's *error* handles what goes wrong in it.
    Value handler = intern(u"*ERROR*")->value;
    if (handler.type() == Type::kUsubr || handler.type() == Type::kSubr) {
      std::vector<Value> args{Value::string(platform::fromUtf8(error.message))};
      callFunction(*this, handler, args);
      return Value();
    }
    throw;
  }
}

}  // namespace lisp
