// Symbols, the environment, and the command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <numbers>

#include "host/library.h"
#include "lisp/library.h"
#include "platform/env.h"
#include "platform/path.h"
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
  const char* value = std::getenv(platform::toUtf8(text(lisp, args[0])).c_str());
  return value ? Value::string(platform::fromUtf8(value)) : Value();
}
Value setEnvironment(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  zc::setEnvironment(platform::toUtf8(text(lisp, args[0])).c_str(),
                     platform::toUtf8(text(lisp, args[1])));
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
  };
  return table;
}

}  // namespace lisp
