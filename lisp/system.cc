// Symbols, the environment, and the command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "host/library.h"
#include "library.h"
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
  return Value::string(platform::fromUtf8(princString(args[0])));
}
Value prin1ToString(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return Value::string(platform::fromUtf8(prin1String(args[0])));
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
  if (symbol->constant) lisp.fail("attempt to set a constant: " + prin1String(args[0]));
  symbol->value = list(lisp, args[1]);
  return args[0];
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
  };
  return table;
}

}  // namespace lisp
