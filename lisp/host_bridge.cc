// The bridge to the host: calling the modules' functions, and the LISP
// symbols the modules read ($acad_code).
#include <optional>

#include "host/host.h"
#include "library.h"
#include "platform/text.h"

namespace lisp {
namespace {

// Lists handed to a module, and symbol values it reads, hold this many
// values at most (shared structure could make one astronomically long).
constexpr size_t kMaxModuleArgument = 100000;

void toHost(Interpreter& lisp, const Value& v, zc::HostValue* out, size_t* budget) {
  if (*budget == 0) lisp.fail("bad argument value: a list too long for a module");
  --*budget;
  switch (v.type()) {
    case Type::kNil:
      *out = zc::HostValue::nil();
      return;
    case Type::kInt:
      *out = zc::HostValue::makeInt(v.asInt());
      return;
    case Type::kReal:
      *out = zc::HostValue::makeReal(v.asReal());
      return;
    case Type::kString:
      *out = zc::HostValue::makeString(v.text());
      return;
    case Type::kSymbol:
      if (v.symbol()->name == u"T") {
        *out = zc::HostValue::t();
        return;
      }
      break;
    case Type::kCons: {
      std::vector<zc::HostValue> items;
      Value rest = v;
      for (; rest.type() == Type::kCons; rest = rest.cons()->cdr) {
        items.emplace_back();
        toHost(lisp, rest.cons()->car, &items.back(), budget);
      }
      if (!rest.isNil()) break;  // a dotted pair
      *out = zc::HostValue::makeList(std::move(items));
      return;
    }
    default:
      break;
  }
  lisp.badType("", v);
}

// A LISP value as the host holds symbol values; one budget for the whole
// value, however its lists share structure.
zc::HostValue hostValue(const Value& v, size_t* budget) {
  if (*budget == 0) return zc::HostValue::nil();
  --*budget;
  switch (v.type()) {
    case Type::kNil:
      return zc::HostValue::nil();
    case Type::kInt:
      return zc::HostValue::makeInt(v.asInt());
    case Type::kReal:
      return zc::HostValue::makeReal(v.asReal());
    case Type::kString:
      return zc::HostValue::makeString(v.text());
    case Type::kSymbol:
      return v.symbol()->name == u"T" ? zc::HostValue::t()
                                      : zc::HostValue::makeSymbol(v.symbol()->name);
    case Type::kCons: {
      std::vector<zc::HostValue> items;
      for (Value rest = v; rest.type() == Type::kCons && *budget > 0; rest = rest.cons()->cdr) {
        items.push_back(hostValue(rest.cons()->car, budget));
      }
      return zc::HostValue::makeList(std::move(items));
    }
    default:
      return zc::HostValue::makeSymbol(u"#<function>");
  }
}

}  // namespace

bool isModuleFunction(const std::u16string& name) {
  return zc::isDefined(name);
}

Value callModule(Interpreter& lisp, const std::u16string& name, std::vector<Value>& args) {
  std::vector<zc::HostValue> hostArgs(args.size());
  size_t budget = kMaxModuleArgument;
  for (size_t i = 0; i < args.size(); ++i) toHost(lisp, args[i], &hostArgs[i], &budget);
  zc::CallResult result = zc::invoke(name, hostArgs);
  if (result.error) lisp.fail(platform::toUtf8(*result.error));
  if (result.failure) lisp.fail(platform::toUtf8(*result.failure));
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

void writeHostOutput(std::string_view utf8) {
  zc::writeOutput(utf8);
}

bool hostOutputAtLineStart() {
  return zc::outputAtLineStart();
}

void connectHost(Interpreter& lisp) {
  zc::setSymbolSource([&lisp](std::u16string_view name) -> std::optional<zc::HostValue> {
    Symbol* symbol = lisp.findSymbol(name);
    if (!symbol || symbol->value.isNil()) return std::nullopt;
    size_t budget = kMaxModuleArgument;
    return hostValue(symbol->value, &budget);
  });
}

void disconnectHost() {
  zc::setSymbolSource(nullptr);
}

}  // namespace lisp
