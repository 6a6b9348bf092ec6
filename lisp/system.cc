// Symbols, the environment, and the command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "host/host.h"
#include "host/library.h"
#include "library.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace lisp {
namespace {

Value symbolName(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  return Value::string(args[0].symbol()->name);
}
Value symbolValue(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kSymbol) lisp.badType("symbolp", args[0]);
  return args[0].symbol()->value;
}
Value symbolp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() == Type::kSymbol, lisp);
}
Value princToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(princString(args[0], lisp.reals())));
}
Value prin1ToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(prin1String(args[0], lisp.reals())));
}

Value getEnvironment(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const std::optional<std::u16string> value = zc::environmentText(text(lisp, args[0]));
  return value ? Value::string(*value) : Value();
}
Value setEnvironment(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  zc::setEnvironmentText(text(lisp, args[0]), text(lisp, args[1]));
  return args[1];
}

Value version(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  return Value::string(u"Visual LISP 2000 (en)");
}

Value prompt(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  lisp.write(platform::toUtf8(text(lisp, args[0])));
  return Value();
}

// A dialog box in the hosts; here the message goes to standard error.
Value alert(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  std::fprintf(stderr, "%s\n", platform::toUtf8(text(lisp, args[0])).c_str());
  return Value();
}

Value nothing(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  return Value();
}

// (vl-catch-all-apply F LIST): F's value, or an error object in place of an
// error F ended in (no *error* runs).
Value catchAllApply(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> callArgs = elements(lisp, args[1]);
  try {
    return callFunction(lisp, args[0], callArgs);
  } catch (const Error& error) {
    if (error.cancelled) throw;  // the user's Ctrl-C ends the whole form
    return Value::object(new CaughtError(error.message));
  } catch (const std::bad_alloc&) {
    return Value::object(new CaughtError("insufficient memory"));
  }
}

Value catchAllErrorp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() == Type::kCaughtError, lisp);
}

Value catchAllErrorMessage(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  if (args[0].type() != Type::kCaughtError) lisp.badType("vl-catch-all-apply-error-p", args[0]);
  return Value::string(platform::fromUtf8(static_cast<CaughtError*>(args[0].asObject())->message));
}

// (atoms-family FORMAT [NAMES]): the symbols that have values (FORMAT 0) or
// their names (1); given NAMES, for each the symbol or name, or nil when it
// has no value.
Value atomsFamily(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const int32_t format = integer(lisp, args[0]);
  if (format != 0 && format != 1) badValue(lisp, args[0]);
  auto shown = [&](Symbol* symbol) {
    return format == 0 ? Value::object(symbol) : Value::string(symbol->name);
  };
  std::vector<Value> found;
  if (args.size() == 2 && !args[1].isNil()) {
    for (const Value& name : elements(lisp, args[1])) {
      Symbol* symbol = lisp.findSymbol(text(lisp, name));
      found.push_back(symbol && !symbol->value.isNil() ? shown(symbol) : Value());
    }
  } else {
    lisp.forEachSymbol([&](Symbol* symbol) {
      if (!symbol->value.isNil() && !symbol->name.empty()) found.push_back(shown(symbol));
    });
  }
  return makeList(std::move(found));
}

Value defunQListRef(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return symbolArgument(lisp, args[0])->value;
}

Value defunQListSet(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  Symbol* symbol = args[0].type() == Type::kSymbol ? args[0].symbol() : nullptr;
  if (!symbol) lisp.badType("symbolp", args[0]);
  if (symbol->constant)
    lisp.fail("attempt to set a constant: " + prin1String(args[0], lisp.reals()));
  symbol->value = list(lisp, args[1]);
  return args[0];
}

// ---------------------------------------------------------------- modules

// A module's file name without its folder: what arx lists.
std::u16string moduleFile(const zc::Module* module) {
  const platform::PathParts parts = platform::splitPath(platform::fromUtf8(zc::modulePath(module)));
  return parts.name + parts.ext;
}

// The module file a name stands for, as -l takes it: a name without a
// folder is a module of the modules' folder, whatever extension it has
// ("vetrix", "vetrix.arx"); with a folder, the platform's extension is
// added when there is none.
std::string moduleFileOf(const std::u16string& name) {
  const platform::PathParts parts = platform::splitPath(name);
  if (parts.drive.empty() && parts.dir.empty()) {
    return zc::moduleFileName(zc::moduleDirectory(), platform::toUtf8(parts.name));
  }
  const std::string extension =
      platform::toUtf8(platform::splitPath(platform::fromUtf8(zc::moduleFileName("", "m"))).ext);
  return platform::toUtf8(name) + (parts.ext.empty() ? extension : "");
}

// The loaded module whose file has that name (its folder, extension and
// case aside): one application has one name.
zc::Module* loadedModule(const std::u16string& name) {
  const std::u16string wanted = platform::toUpperWide(platform::splitPath(name).name);
  for (zc::Module* module : zc::loadedModules()) {
    const platform::PathParts loaded =
        platform::splitPath(platform::fromUtf8(zc::modulePath(module)));
    if (platform::toUpperWide(loaded.name) == wanted) return module;
  }
  return nullptr;
}

// (arxload NAME [ONFAILURE]): NAME once its module is loaded; ONFAILURE, or
// an error, when it cannot be, or is loaded already.
Value arxload(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string& name = text(lisp, args[0]);
  std::string cause = "already loaded";
  if (!loadedModule(name)) {
    if (zc::loadModule(moduleFileOf(name), &cause)) return args[0];
  }
  if (args.size() == 2) return args[1];
  lisp.fail("ARXLOAD failed: \"" + platform::toUtf8(name) + "\": " + cause);
}

// (arxunload NAME [ONFAILURE]): NAME once its module is unloaded, and its
// functions with it; ONFAILURE, or an error, when no such module is loaded.
Value arxunload(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  const std::u16string& name = text(lisp, args[0]);
  if (zc::Module* module = loadedModule(name)) {
    zc::unloadModule(module);
    return args[0];
  }
  if (args.size() == 2) return args[1];
  lisp.fail("ARXUNLOAD failed: \"" + platform::toUtf8(name) + "\"");
}

// (arx): the file names of the modules loaded, in the order they were.
Value arx(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  std::vector<Value> names;
  for (zc::Module* module : zc::loadedModules()) names.push_back(Value::string(moduleFile(module)));
  return makeList(std::move(names));
}

// (startapp PROGRAM [FILE]): starts PROGRAM (found on the PATH) with FILE as
// its one argument, blanks and all, and does not wait for it: its process id,
// or nil when it could not be started. No shell reads either.
Value startapp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  std::vector<std::u16string> arguments{text(lisp, args[0])};
  if (args.size() == 2 && !args[1].isNil()) arguments.push_back(text(lisp, args[1]));
  const std::optional<int64_t> started = zc::startProgram(arguments);
  return started ? Value::integer(wrap(*started)) : Value();
}

// ---------------------------------------------------------------- the registry

// The value name of (vl-registry-... KEY [NAME ...]): nil or left out for
// the key's default value.
std::u16string valueName(Interpreter& lisp, const Args& args) {
  return args.size() >= 2 && !args[1].isNil() ? text(lisp, args[1]) : std::u16string();
}

// (vl-registry-read KEY [NAME]): the value, a string or an integer; nil
// when the key or the value is not there or cannot be read.
Value registryRead(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  platform::RegistryValue value;
  if (!platform::registryRead(text(lisp, args[0]), valueName(lisp, args), &value).ok()) {
    return Value();
  }
  return value.isNumber ? Value::integer(static_cast<int32_t>(value.number))
                        : Value::string(value.text);
}

// (vl-registry-write KEY [NAME [DATA]]): DATA (a string or an integer; ""
// when left out) once written, the key made as needed; nil on failure.
Value registryWrite(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 3);
  lisp.requireFiles();
  platform::RegistryValue value;
  Value data = Value::string(u"");
  if (args.size() == 3) data = args[2];
  if (data.type() == Type::kInt) {
    value.isNumber = true;
    value.number = static_cast<uint32_t>(data.asInt());
  } else {
    value.text = text(lisp, data);
  }
  if (!platform::registryWrite(text(lisp, args[0]), valueName(lisp, args), value).ok()) {
    return Value();
  }
  return data;
}

// (vl-registry-delete KEY [NAME]): T once the value, or the key with its
// values, is gone; nil otherwise (a key with keys under it stays).
Value registryDelete(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  lisp.requireFiles();
  const std::u16string& key = text(lisp, args[0]);
  std::optional<std::u16string> name;
  if (args.size() == 2 && !args[1].isNil()) name = text(lisp, args[1]);
  return truth(platform::registryDelete(key, name ? &*name : nullptr).ok(), lisp);
}

// (vl-registry-descendents KEY [VALUE-NAMES]): the names of the keys under
// KEY, or of its values when VALUE-NAMES is given; nil when there is no KEY.
// The names come in order, ignoring case: the registry lists them as it
// keeps them, which differs between systems.
Value registryDescendents(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 2);
  std::vector<std::u16string> names;
  const bool values = args.size() == 2 && !args[1].isNil();
  if (!platform::registryList(text(lisp, args[0]), values, &names).ok()) return Value();
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    const std::u16string upperA = platform::toUpperWide(a), upperB = platform::toUpperWide(b);
    return upperA != upperB ? upperA < upperB : a < b;
  });
  std::vector<Value> list;
  for (std::u16string& name : names) list.push_back(Value::string(std::move(name)));
  return makeList(std::move(list));
}

// ---------------------------------------------------------------- documents

std::u16string blackboardKey(Interpreter& lisp, const Value& v) {
  return symbolArgument(lisp, v)->name;
}

// (vl-bb-set 'SYMBOL VALUE): VALUE, kept on the blackboard.
Value blackboardSet(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::u16string key = blackboardKey(lisp, args[0]);
  auto& board = lisp.document().blackboard;
  if (args[1].isNil()) {
    board.erase(key);
  } else {
    board[key] = args[1];
  }
  return args[1];
}

// (vl-bb-ref 'SYMBOL): the value the blackboard holds for SYMBOL, or nil.
Value blackboardRef(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const auto& board = lisp.document().blackboard;
  auto it = board.find(blackboardKey(lisp, args[0]));
  return it == board.end() ? Value() : it->second;
}

// (vl-propagate 'SYMBOL): the symbol's value in every document; there is
// one, which has it already.
Value propagate(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  symbolArgument(lisp, args[0]);
  return Value();
}

// (vl-load-all NAME): loads the file into every document: this one.
Value loadAll(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  (void)lisp.load(text(lisp, args[0]));
  return Value();
}

// (vl-bt): writes the forms being evaluated, innermost first, each with its
// file and line when it was read from one; of a recursion thousands deep,
// the innermost hundred.
Value backtrace(Interpreter& lisp, Args& args) {
  need(lisp, args, 0, 0);
  constexpr size_t kShown = 200;  // bytes of each form
  constexpr size_t kForms = 100;
  std::string out = "Backtrace:\n";
  const auto& forms = lisp.formsBeingEvaluated();
  for (size_t i = 0; i < forms.size(); ++i) {
    if (i == kForms) {
      out += "[...] " + std::to_string(forms.size() - kForms) + " more\n";
      break;
    }
    const Cons* form = forms[forms.size() - 1 - i];
    auto* cell = const_cast<Cons*>(form);
    ++cell->refs;  // Value::object takes a reference
    std::string shown = prin1String(Value::object(cell));
    if (shown.size() > kShown) {
      size_t cut = kShown;
      while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
      shown = shown.substr(0, cut) + "...";
    }
    out += "[" + std::to_string(i) + "] " + shown;
    const Cons::Location at = form->location();
    if (at.source != 0) {
      out += " (" + lisp.sourceName(at.source) + ":" + std::to_string(at.line) + ")";
    }
    out += "\n";
  }
  lisp.write(out);
  return Value();
}

}  // namespace

std::span<const Subr> systemFunctions() {
  static const Subr table[] = {
      {"VL-SYMBOL-NAME", symbolName},
      {"VL-SYMBOL-VALUE", symbolValue},
      {"VL-SYMBOLP", symbolp},
      {"VL-PRINC-TO-STRING", princToString},
      {"VL-PRIN1-TO-STRING", prin1ToString},
      {"GETENV", getEnvironment},
      {"SETENV", setEnvironment},
      {"VER", version},
      {"PROMPT", prompt},
      {"ALERT", alert},
      {"VL-LOAD-COM", nothing},
      {"VL-CATCH-ALL-APPLY", catchAllApply},
      {"VL-CATCH-ALL-ERROR-P", catchAllErrorp},
      {"VL-CATCH-ALL-ERROR-MESSAGE", catchAllErrorMessage},
      {"ATOMS-FAMILY", atomsFamily},
      {"DEFUN-Q-LIST-REF", defunQListRef},
      {"DEFUN-Q-LIST-SET", defunQListSet},
      {"ARXLOAD", arxload},
      {"ARXUNLOAD", arxunload},
      {"ARX", arx},
      {"STARTAPP", startapp},
      {"VL-REGISTRY-READ", registryRead},
      {"VL-REGISTRY-WRITE", registryWrite},
      {"VL-REGISTRY-DELETE", registryDelete},
      {"VL-REGISTRY-DESCENDENTS", registryDescendents},
      {"VL-BB-SET", blackboardSet},
      {"VL-BB-REF", blackboardRef},
      {"VL-PROPAGATE", propagate},
      {"VL-LOAD-ALL", loadAll},
      {"VL-BT", backtrace},
      {"GC", nothing},
      {"VMON", nothing},
      {"VL-LOAD-REACTORS", nothing},
  };
  return table;
}

}  // namespace lisp
