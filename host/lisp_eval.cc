// The evaluator: a handful of built-ins, and calls into the modules.
#include <cstdio>
#include <map>

#include "host/library.h"
#include "host/lisp.h"
#include "platform/platform.h"

namespace lisp {
namespace {

using Args = std::vector<Value>;  // the unevaluated forms after the head
using Builtin = Value (*)(const Args& forms);

[[noreturn]] void fail(std::string message) {
  throw Error{std::move(message)};
}

void requireCount(const Args& forms, size_t least, size_t most) {
  if (forms.size() < least) fail("too few arguments");
  if (forms.size() > most) fail("too many arguments");
}

const Value& requireString(const Value& v) {
  if (v.kind != Value::Kind::kString) fail("bad argument type: stringp " + prin1String(v));
  return v;
}

Args evalAll(const Args& forms) {
  Args values;
  values.reserve(forms.size());
  for (const Value& f : forms) values.push_back(eval(f));
  return values;
}

Value quoteForm(const Args& forms) {
  requireCount(forms, 1, 1);
  return forms[0];
}

Value setqForm(const Args& forms) {
  if (forms.empty() || forms.size() % 2 != 0) fail("too few arguments");
  Value last;
  for (size_t i = 0; i < forms.size(); i += 2) {
    if (forms[i].kind != Value::Kind::kSymbol) {
      fail("bad argument type: symbolp " + prin1String(forms[i]));
    }
    last = eval(forms[i + 1]);
    zc::setSymbol(forms[i].text, last);
  }
  return last;
}

Value prognForm(const Args& forms) {
  Value last;
  for (const Value& f : forms) last = eval(f);
  return last;
}

Value ifForm(const Args& forms) {
  requireCount(forms, 2, 3);
  if (!eval(forms[0]).isNil()) return eval(forms[1]);
  return forms.size() == 3 ? eval(forms[2]) : Value::nil();
}

Value listForm(const Args& forms) {
  return Value::makeList(evalAll(forms));
}

Value strcatForm(const Args& forms) {
  std::u16string text;
  for (const Value& v : evalAll(forms)) text += requireString(v).text;
  return Value::makeString(std::move(text));
}

Value strlenForm(const Args& forms) {
  size_t length = 0;
  for (const Value& v : evalAll(forms)) length += requireString(v).text.size();
  return Value::makeInt(static_cast<int32_t>(length));
}

Value printWith(const Args& forms, std::string (*printer)(const Value&), const char* before,
                const char* after) {
  requireCount(forms, 0, 1);
  if (forms.empty()) return Value::nil();
  Value v = eval(forms[0]);
  zc::writeOutput(before + printer(v) + after);
  return v;
}

Value princForm(const Args& forms) {
  return printWith(forms, princString, "", "");
}
Value prin1Form(const Args& forms) {
  return printWith(forms, prin1String, "", "");
}
Value printForm(const Args& forms) {
  return printWith(forms, prin1String, "\n", " ");
}

Value terpriForm(const Args& forms) {
  requireCount(forms, 0, 0);
  zc::writeOutput("\n");
  return Value::nil();
}

Value loadForm(const Args& forms) {
  requireCount(forms, 1, 1);
  return loadFile(platform::toUtf8(requireString(eval(forms[0])).text));
}

Value exitForm(const Args& forms) {
  requireCount(forms, 0, 1);
  ExitRequest request;
  if (!forms.empty()) {
    Value code = eval(forms[0]);
    if (code.kind != Value::Kind::kInt) fail("bad argument type: fixnump " + prin1String(code));
    request.status = code.integer;
  }
  throw request;
}

const std::map<std::u16string, Builtin>& builtins() {
  static const std::map<std::u16string, Builtin> table = {
      {u"quote", quoteForm},   {u"setq", setqForm},     {u"progn", prognForm},
      {u"if", ifForm},         {u"list", listForm},     {u"strcat", strcatForm},
      {u"strlen", strlenForm}, {u"princ", princForm},   {u"prin1", prin1Form},
      {u"print", printForm},   {u"terpri", terpriForm}, {u"load", loadForm},
      {u"exit", exitForm},
  };
  return table;
}

Value callModule(const std::u16string& name, const Args& forms) {
  zc::CallResult result = zc::invoke(name, evalAll(forms));
  if (result.error) fail(platform::toUtf8(*result.error));
  if (result.failure) fail(platform::toUtf8(*result.failure));
  switch (result.kind) {
    case zc::CallResult::Kind::kString:
      return Value::makeString(std::move(result.text));
    case zc::CallResult::Kind::kReal:
      return Value::makeReal(result.real);
    case zc::CallResult::Kind::kNone:
      break;
  }
  return Value::nil();
}

}  // namespace

Value eval(const Value& form) {
  switch (form.kind) {
    case Value::Kind::kSymbol:
      return zc::symbolValue(form.text).value_or(Value::nil());
    case Value::Kind::kList:
      break;
    default:
      return form;
  }
  const Value& head = form.items[0];
  if (head.kind != Value::Kind::kSymbol) fail("bad function: " + prin1String(head));
  const Args forms(form.items.begin() + 1, form.items.end());
  const std::u16string name = platform::toLowerWide(head.text);
  auto builtin = builtins().find(name);
  if (builtin != builtins().end()) return builtin->second(forms);
  if (zc::isDefined(name)) return callModule(name, forms);
  if (std::optional<Value> bound = zc::symbolValue(name); bound && !bound->isNil()) {
    fail("bad function: " + prin1String(*bound));
  }
  fail("no function definition: " + platform::toUtf8(platform::toUpperWide(head.text)));
}

Value loadFile(const std::string& path) {
  std::FILE* file = zc::openFileUtf8(path, "rb");
  if (!file && path.find('.') == std::string::npos) file = zc::openFileUtf8(path + ".lsp", "rb");
  if (!file) fail("LOAD failed: \"" + path + "\"");
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  Value last;
  for (const Value& form : readAll(text)) last = eval(form);
  return last;
}

}  // namespace lisp
