// The special forms: quote, setq, the conditionals and loops, defun and lambda.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "library.h"
#include "platform/text.h"

namespace lisp {

Value makeFunction(Interpreter& lisp, std::u16string name, const Value& forms) {
  auto f = std::make_unique<Usubr>();
  f->name = std::move(name);
  const Value parameters = car(forms);
  if (!isList(parameters)) lisp.badType("listp", parameters);
  // A name given twice is bound by its first place only: a later parameter
  // of the same name takes its argument without binding it, and a later
  // local is no local.
  auto seen = [&](Symbol* s) {
    return std::find(f->parameters.begin(), f->parameters.end(), s) != f->parameters.end() ||
           std::find(f->locals.begin(), f->locals.end(), s) != f->locals.end();
  };
  bool locals = false;
  for (Value at = parameters; at.type() == Type::kCons; at = cdr(at)) {
    const Value p = car(at);
    if (p.type() != Type::kSymbol) lisp.badType("symbolp", p);
    if (p.symbol()->name == u"/") {
      locals = true;
      continue;
    }
    if (locals) {
      if (!seen(p.symbol())) f->locals.push_back(p.symbol());
    } else {
      f->parameters.push_back(seen(p.symbol()) ? nullptr : p.symbol());
    }
  }
  f->body = cdr(forms);
  return Value::object(f.release());
}

// (setq S (strcat S MORE...)) when S's string is S's alone: MORE is added
// where the string is, so that building a string a piece at a time takes
// time in proportion to its length, not to its square. Answers false for
// any other form, which evaluates as it reads.
bool appendInPlace(Interpreter& lisp, Symbol* target, const Value& form, Value* result) {
  if (form.type() != Type::kCons) return false;
  const Value& head = form.cons()->car;
  const Value& args = form.cons()->cdr;
  // Every (setq S (F ...)) asks: the cheap tests first.
  if (args.type() != Type::kCons || args.cons()->car.type() != Type::kSymbol ||
      args.cons()->car.symbol() != target || target->value.type() != Type::kString ||
      head.type() != Type::kSymbol || head.symbol()->value.type() != Type::kSubr ||
      static_cast<Subr*>(head.symbol()->value.asObject())->function != concatenate) {
    return false;
  }
  lisp.count();
  Interpreter::Frame frame(lisp, form.cons());
  std::vector<Value> values{target->value};  // as a call would take it
  for (Value at = args.cons()->cdr; at.type() == Type::kCons; at = cdr(at)) {
    values.push_back(lisp.eval(car(at)));
  }
  size_t added = 0;
  bool strings = true;
  for (size_t i = 1; i < values.size(); ++i) {
    strings = strings && values[i].type() == Type::kString;
    if (strings) added += values[i].text().size();
  }
  // Held by `values` and by S alone: nobody sees it change.
  if (!strings || target->value.asObject() != values[0].asObject() ||
      values[0].asObject()->refs != 2) {
    *result = callFunction(lisp, head.symbol()->value, values);
    return true;
  }
  lisp.reserveString(added * sizeof(char16_t));
  auto* text = static_cast<StringObject*>(values[0].asObject());
  for (size_t i = 1; i < values.size(); ++i) text->append(values[i].text());
  *result = std::move(values[0]);
  return true;
}

namespace {

void countArguments(Interpreter& lisp, const Value& forms, size_t least, size_t most) {
  const int64_t n = listLength(forms);
  if (n < 0 || static_cast<size_t>(n) < least) lisp.fail("too few arguments");
  if (static_cast<size_t>(n) > most) lisp.fail("too many arguments");
}

Value progn(Interpreter& lisp, const Value& forms) {
  Value result;
  // A value is let go before the next form runs, so that a string held by
  // one symbol alone can grow where it is (appendInPlace).
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    result = Value();
    result = lisp.eval(car(at));
  }
  return result;
}

Value quote(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, 1);
  return car(forms);
}

Value setq(Interpreter& lisp, const Value& forms) {
  Value result;
  for (Value at = forms; at.type() == Type::kCons; at = cdr(cdr(at))) {
    const Value target = car(at);
    if (target.type() != Type::kSymbol) lisp.badType("symbolp", target);
    if (cdr(at).type() != Type::kCons) lisp.fail("too few arguments");
    if (target.symbol()->constant) {
      lisp.fail("attempt to set a constant: " + platform::toUtf8(target.symbol()->name));
    }
    if (!appendInPlace(lisp, target.symbol(), car(cdr(at)), &result)) {
      result = lisp.eval(car(cdr(at)));
    }
    target.symbol()->value = result;
  }
  return result;
}

Value ifForm(Interpreter& lisp, const Value& forms) {
  // (if TEST THEN [ELSE]): the shape is checked without counting the list.
  const Value* rest = forms.type() == Type::kCons && forms.cons()->cdr.type() == Type::kCons
                          ? &forms.cons()->cdr.cons()->cdr
                          : nullptr;
  if (!rest || !(rest->isNil() || (rest->type() == Type::kCons && rest->cons()->cdr.isNil()))) {
    countArguments(lisp, forms, 2, 3);
  }
  if (!lisp.eval(car(forms)).isNil()) return lisp.eval(car(cdr(forms)));
  return lisp.eval(car(cdr(cdr(forms))));
}

Value cond(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    const Value clause = car(at);
    if (clause.type() != Type::kCons) lisp.badType("consp", clause);
    Value test = lisp.eval(car(clause));
    if (test.isNil()) continue;
    return cdr(clause).isNil() ? test : progn(lisp, cdr(clause));
  }
  return Value();
}

Value andForm(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    if (lisp.eval(car(at)).isNil()) return Value();
  }
  return truth(true, lisp);
}

Value orForm(Interpreter& lisp, const Value& forms) {
  for (Value at = forms; at.type() == Type::kCons; at = cdr(at)) {
    if (!lisp.eval(car(at)).isNil()) return truth(true, lisp);
  }
  return Value();
}

// A loop runs its forms as they read the first time round; from the
// second time on, prepared.
Value whileForm(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  Value result;
  if (lisp.eval(car(forms)).isNil()) return result;
  result = progn(lisp, cdr(forms));
  const PreparedFormsPtr prepared = prepareForms(forms);
  while (!runPrepared(lisp, *prepared, 0, 1).isNil()) {
    result = Value();
    result = runPrepared(lisp, *prepared, 1);
  }
  return result;
}

Value repeat(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  const Value times = lisp.eval(car(forms));
  Value result;
  PreparedFormsPtr prepared;
  for (int32_t n = integer(lisp, times); n > 0; --n) {
    result = Value();
    if (prepared) {
      result = runPrepared(lisp, *prepared);
    } else {
      result = progn(lisp, cdr(forms));
      prepared = prepareForms(cdr(forms));
    }
  }
  return result;
}

Value foreach (Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, SIZE_MAX);
  const Value variable = car(forms);
  if (variable.type() != Type::kSymbol) lisp.badType("symbolp", variable);
  const Value items = list(lisp, lisp.eval(car(cdr(forms))));
  Bindings bindings(lisp);
  bindings.bind(variable.symbol(), Value());
  Value result;
  PreparedFormsPtr prepared;
  for (Value at = items; at.type() == Type::kCons; at = cdr(at)) {
    variable.symbol()->value = car(at);
    result = Value();
    if (prepared) {
      result = runPrepared(lisp, *prepared);
    } else {
      result = progn(lisp, cdr(cdr(forms)));
      prepared = prepareForms(cdr(cdr(forms)));
    }
  }
  return result;
}

Value defun(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, SIZE_MAX);
  const Value name = car(forms);
  if (name.type() != Type::kSymbol) lisp.badType("symbolp", name);
  if (name.symbol()->constant) {
    lisp.fail("attempt to set a constant: " + platform::toUtf8(name.symbol()->name));
  }
  name.symbol()->value = makeFunction(lisp, name.symbol()->name, cdr(forms));
  return name;
}

// (defun-q NAME (PARAMETERS) BODY...): the function kept as the list
// (PARAMETERS BODY...), which defun-q-list-ref reads and a call runs.
Value defunQ(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 2, SIZE_MAX);
  const Value name = car(forms);
  if (name.type() != Type::kSymbol) lisp.badType("symbolp", name);
  if (name.symbol()->constant) {
    lisp.fail("attempt to set a constant: " + platform::toUtf8(name.symbol()->name));
  }
  if (!isList(car(cdr(forms)))) lisp.badType("listp", car(cdr(forms)));
  name.symbol()->value = cdr(forms);
  return name;
}

Value lambda(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, SIZE_MAX);
  return makeFunction(lisp, u"", forms);
}

Value function(Interpreter& lisp, const Value& forms) {
  countArguments(lisp, forms, 1, 1);
  const Value f = car(forms);
  // #'(lambda ...) makes the function; a name stands for itself.
  if (f.type() == Type::kCons) return lisp.eval(f);
  return f;
}

// ---------------------------------------------------------------- applied

// The special forms given values, by apply and mapcar: (apply 'and LIST).
// Those that evaluate nothing take the values as their forms.
template <SpecialForm Form>
Value asForms(Interpreter& lisp, Args& args) {
  return Form(lisp, makeList(args));
}

Value andValues(Interpreter& lisp, Args& args) {
  return truth(std::none_of(args.begin(), args.end(), [](const Value& v) { return v.isNil(); }),
               lisp);
}

Value orValues(Interpreter& lisp, Args& args) {
  return truth(std::any_of(args.begin(), args.end(), [](const Value& v) { return !v.isNil(); }),
               lisp);
}

Value prognValues(Interpreter&, Args& args) {
  return args.empty() ? Value() : args.back();
}

Value ifValues(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 3);
  if (!args[0].isNil()) return args[1];
  return args.size() > 2 ? args[2] : Value();
}

// (apply 'setq (list 'a 1 'b 2)): each symbol gets the value after it.
Value setqValues(Interpreter& lisp, Args& args) {
  Value result;
  for (size_t i = 0; i < args.size(); i += 2) {
    if (args[i].type() != Type::kSymbol) lisp.badType("symbolp", args[i]);
    if (i + 1 >= args.size()) lisp.fail("too few arguments");
    Symbol* target = args[i].symbol();
    if (target->constant) lisp.fail("attempt to set a constant: " + platform::toUtf8(target->name));
    result = args[i + 1];
    target->value = result;
  }
  return result;
}

}  // namespace

std::span<const Subr> specialForms() {
  static const Subr table[] = {
      {"QUOTE", quote, asForms<quote>},
      {"FUNCTION", function, asForms<function>},
      {"SETQ", setq, setqValues},
      {"PROGN", progn, prognValues},
      {"IF", ifForm, ifValues},
      {"COND", cond},
      {"AND", andForm, andValues},
      {"OR", orForm, orValues},
      {"WHILE", whileForm},
      {"REPEAT", repeat},
      {"FOREACH", foreach},
      {"DEFUN", defun, asForms<defun>},
      {"LAMBDA", lambda, asForms<lambda>},
      {"DEFUN-Q", defunQ, asForms<defunQ>},
  };
  return table;
}

}  // namespace lisp
