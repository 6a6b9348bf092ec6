// The evaluator: symbols, calls, special forms, the modules' functions, and
// loading files.
#include <algorithm>
#include <map>
#include <new>
#include <stdexcept>

#include "host/host.h"
#include "host/lisp_internal.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/text.h"

namespace lisp {
namespace {

// Deeper calls than this end in an error before the stack would.
constexpr int kMaxDepth = 4000;
// A file that loads itself stops here.
constexpr int kMaxLoadDepth = 32;
// Lists handed to a module are this long at most (shared structure could
// make one astronomically long).
constexpr size_t kMaxModuleArgument = 100000;

using SymbolTable = std::map<std::u16string, Symbol*>;

std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

// ---------------------------------------------------------------- modules

void toHost(Interpreter& lisp, const Value& v, zc::Value* out, size_t* budget) {
  if (*budget == 0) lisp.fail("bad argument value: a list too long for a module");
  --*budget;
  switch (v.type()) {
    case Type::kNil:
      *out = zc::Value::nil();
      return;
    case Type::kInt:
      *out = zc::Value::makeInt(v.asInt());
      return;
    case Type::kReal:
      *out = zc::Value::makeReal(v.asReal());
      return;
    case Type::kString:
      *out = zc::Value::makeString(v.text());
      return;
    case Type::kSymbol:
      if (v.symbol()->name == u"T") {
        *out = zc::Value::t();
        return;
      }
      break;
    case Type::kCons: {
      std::vector<zc::Value> items;
      Value rest = v;
      for (; rest.type() == Type::kCons; rest = rest.cons()->cdr) {
        items.emplace_back();
        toHost(lisp, rest.cons()->car, &items.back(), budget);
      }
      if (!rest.isNil()) break;  // a dotted pair
      *out = zc::Value::makeList(std::move(items));
      return;
    }
    default:
      break;
  }
  lisp.badType("", v);
}

Value callModule(Interpreter& lisp, const std::u16string& name, std::vector<Value>& args) {
  std::vector<zc::Value> hostArgs(args.size());
  size_t budget = kMaxModuleArgument;
  for (size_t i = 0; i < args.size(); ++i) toHost(lisp, args[i], &hostArgs[i], &budget);
  zc::CallResult result = zc::invoke(name, hostArgs);
  if (result.error) lisp.fail(utf8(*result.error));
  if (result.failure) lisp.fail(utf8(*result.failure));
  switch (result.kind) {
    case zc::CallResult::Kind::kString:
      return Value::string(std::move(result.text));
    case zc::CallResult::Kind::kReal:
      return Value::real(result.real);
    case zc::CallResult::Kind::kNone:
      break;
  }
  return Value();
}

// A LISP value as the host holds symbol values.
zc::Value hostValue(const Value& v) {
  size_t budget = kMaxModuleArgument;
  switch (v.type()) {
    case Type::kNil:
      return zc::Value::nil();
    case Type::kInt:
      return zc::Value::makeInt(v.asInt());
    case Type::kReal:
      return zc::Value::makeReal(v.asReal());
    case Type::kString:
      return zc::Value::makeString(v.text());
    case Type::kSymbol:
      return v.symbol()->name == u"T" ? zc::Value::t() : zc::Value::makeSymbol(v.symbol()->name);
    case Type::kCons: {
      std::vector<zc::Value> items;
      for (Value rest = v; rest.type() == Type::kCons && budget-- > 0; rest = rest.cons()->cdr) {
        items.push_back(hostValue(rest.cons()->car));
      }
      return zc::Value::makeList(std::move(items));
    }
    default:
      return zc::Value::makeSymbol(u"#<function>");
  }
}

// ---------------------------------------------------------------- calls

Value callUsubr(Interpreter& lisp, Usubr* f, std::vector<Value>& args) {
  if (args.size() < f->parameters.size()) lisp.fail("too few arguments");
  if (args.size() > f->parameters.size()) lisp.fail("too many arguments");
  Bindings bindings;
  for (size_t i = 0; i < args.size(); ++i) bindings.bind(f->parameters[i], std::move(args[i]));
  for (Symbol* local : f->locals) bindings.bind(local, Value());
  Value result;
  for (Value form = f->body; form.type() == Type::kCons; form = form.cons()->cdr) {
    result = lisp.eval(form.cons()->car);
  }
  return result;
}

}  // namespace

Interpreter::Frame::Frame(Interpreter& l, const Cons* form) : lisp(l) {
  if (++lisp.depth_ > kMaxDepth) {
    --lisp.depth_;
    lisp.fail("LISP stack overflow");
  }
  lisp.forms_.push_back(form);
}

Interpreter::Frame::~Frame() {
  lisp.forms_.pop_back();
  --lisp.depth_;
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
  switch (function.type()) {
    case Type::kSubr: {
      auto* subr = static_cast<Subr*>(function.asObject());
      if (subr->function) return subr->function(lisp, args);
      break;  // a special form takes forms, not values
    }
    case Type::kUsubr:
      return callUsubr(lisp, static_cast<Usubr*>(function.asObject()), args);
    case Type::kExsubr:
      return callModule(lisp, static_cast<Exsubr*>(function.asObject())->name, args);
    default:
      break;
  }
  lisp.fail("bad function: " + prin1String(given));
}

Value functionValue(Interpreter& lisp, const Value& head) {
  (void)lisp;
  if (head.type() != Type::kSymbol) return Value();
  Symbol* symbol = head.symbol();
  if (!symbol->value.isNil()) return symbol->value;
  if (zc::isDefined(symbol->name)) return Value::object(new Exsubr(symbol->name));
  return Value();
}

Value symbolValueOf(Symbol* symbol) {
  return symbol->value;
}

// ---------------------------------------------------------------- Interpreter

Interpreter::Interpreter()
    : output_([](std::string_view text) { zc::writeOutput(text); }), report_([](const Error&) {}) {
  symbolTable_ = new SymbolTable;
  sources_.emplace_back();  // 0: no source
  for (const Subr& subr : builtins()) {
    intern(platform::fromUtf8(subr.name))->value = Value::object(const_cast<Subr*>(&subr));
  }
  true_ = intern(u"T");
  true_->value = Value::object(true_);
  true_->constant = true;
  Symbol* pi = intern(u"PI");
  pi->value = Value::real(3.141592653589793);
  pi->constant = true;
  // Modules read LISP symbols ($acad_code) through the host.
  zc::setSymbolSource([this](std::u16string_view name) -> std::optional<zc::Value> {
    auto& table = *static_cast<SymbolTable*>(symbolTable_);
    auto it = table.find(platform::toUpperWide(name));
    if (it == table.end() || it->second->value.isNil()) return std::nullopt;
    return hostValue(it->second->value);
  });
}

Interpreter::~Interpreter() {
  zc::setSymbolSource(nullptr);
  // Values may refer to symbols; clear them all before any symbol goes.
  for (auto& symbol : symbols_) symbol->value = Value();
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
    if ((*it)->source != 0) {
      error.where = sources_[(*it)->source] + ":" + std::to_string((*it)->line);
      break;
    }
  }
  throw error;
}

void Interpreter::badType(const char* predicate, const Value& value) {
  fail(std::string("bad argument type: ") + predicate + (*predicate ? " " : "") +
       prin1String(value));
}

void Interpreter::reserveString(uint64_t bytes) {
  if (limits_.stringBytes && liveStringBytes() + bytes > limits_.stringBytes) {
    fail("memory limit reached");
  }
}

void Interpreter::requireFiles() {
  if (!limits_.files) fail("files are not available here");
}

void Interpreter::count() {
  ++steps_;
  if (limits_.steps && steps_ > limits_.steps) fail("evaluation limit reached");
  if (limits_.objects && liveObjects() > limits_.objects) fail("memory limit reached");
}

Value Interpreter::eval(const Value& form) {
  count();
  switch (form.type()) {
    case Type::kSymbol:
      // A module's function is the value of its name.
      if (form.symbol()->value.isNil()) return functionValue(*this, form);
      return form.symbol()->value;
    case Type::kCons:
      break;
    default:
      return form;
  }
  Frame frame(*this, form.cons());
  const Value& head = form.cons()->car;
  Value function = head.type() == Type::kCons ? eval(head) : functionValue(*this, head);
  if (function.isNil()) {
    if (head.type() == Type::kSymbol) fail("no function definition: " + utf8(head.symbol()->name));
    fail("bad function: " + prin1String(head));
  }
  const Value& forms = form.cons()->cdr;
  if (function.type() == Type::kSubr) {
    auto* subr = static_cast<Subr*>(function.asObject());
    if (subr->special) return subr->special(*this, forms);
  }
  std::vector<Value> args;
  for (const Value* at = &forms; at->type() == Type::kCons; at = &at->cons()->cdr) {
    args.push_back(eval(at->cons()->car));
  }
  return callFunction(*this, function, args);
}

Value Interpreter::evalTopLevel(const Value& form) {
  try {
    // Memory running out is an error of the form, as in the CAD hosts: the
    // next form runs.
    try {
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

void Interpreter::run(std::string_view text, const std::string& source) {
  Reader reader(*this, text, source);
  for (;;) {
    Value form;
    Error error;
    switch (reader.next(&form, &error)) {
      case Reader::Status::kForm:
        try {
          evalTopLevel(form);
        } catch (const Error& e) {
          failed_ = true;
          report(e);
        }
        break;
      case Reader::Status::kEnd:
        return;
      case Reader::Status::kIncomplete:
        error.message = "malformed list on input";
        error.where = source;
        failed_ = true;
        report(error);
        return;
      case Reader::Status::kError:
        failed_ = true;
        report(error);
        break;
    }
  }
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
  if (!s.ok()) fail("LOAD failed: \"" + utf8(name) + "\"");
  if (loadDepth >= kMaxLoadDepth) fail("LOAD nested too deeply: \"" + utf8(name) + "\"");
  ++loadDepth;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{loadDepth};
  // Whole forms are read and evaluated as the file's lines arrive.
  const std::string source = utf8(name);
  FormCollector pending;
  int firstLine = 1, line = 1;
  Value last;
  std::string chunk(1 << 16, '\0');
  uint64_t offset = 0;
  std::string partial;
  size_t scanned = 0;  // bytes of `partial` known to hold no newline
  auto evaluatePending = [&](bool atEnd) {
    if (!atEnd && !pending.complete()) return;
    const std::string text = pending.take();
    Reader reader(*this, text, source, firstLine);
    for (;;) {
      Value form;
      Error error;
      const Reader::Status status = reader.next(&form, &error);
      if (status == Reader::Status::kEnd) break;
      if (status == Reader::Status::kIncomplete) fail("malformed list on input");
      if (status == Reader::Status::kError) throw error;
      last = eval(form);
    }
    firstLine = line;
  };
  for (;;) {
    size_t got = 0;
    s = file->read(offset, chunk.data(), chunk.size(), &got);
    if (!s.ok()) fail("LOAD failed: \"" + utf8(name) + "\"");
    if (got == 0) break;
    offset += got;
    partial.append(chunk, 0, got);
    size_t start = 0;
    for (size_t newline;
         (newline = partial.find('\n', std::max(start, scanned))) != std::string::npos;) {
      pending.add(std::string_view(partial).substr(start, newline + 1 - start));
      ++line;
      start = newline + 1;
      evaluatePending(false);
    }
    partial.erase(0, start);
    scanned = partial.size();
  }
  pending.add(partial);
  evaluatePending(true);
  return last;
}

}  // namespace lisp
