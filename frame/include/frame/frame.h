// The plug-in frame shared by both modules: the function table each module
// supplies, and small helpers for reading argument lists.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "frame/host_interface.h"

// A LISP-callable handler: takes the call's argument list (null for none) and
// returns a status. The status goes no further than the frame.
using Handler = int (*)(const ResultBuffer* args);

struct FunctionEntry {
  const char16_t* name;
  Handler handler;
};

constexpr int kFunctionCount = 6;
// The function code of an entry is its index.
using FunctionTable = std::array<FunctionEntry, kFunctionCount>;

// One entry as a module writes it in its table. Only a named function can
// be given as the handler (a null pointer deduces no type), and the name
// must not be empty.
struct FunctionSpec {
  template <typename Function>
  consteval FunctionSpec(const char16_t* functionName, Function* function)
      : name(functionName), handler(function) {
    if (name[0] == u'\0') throw "every function needs a name";
  }
  const char16_t* name;
  Handler handler;
};

// Builds a module's table at compile time: a list of other than six
// entries, or an entry without a name or a handler, does not compile.
template <size_t N>
consteval FunctionTable makeFunctionTable(const FunctionSpec (&entries)[N]) {
  static_assert(N == kFunctionCount, "a module defines exactly six functions");
  FunctionTable table{};
  for (size_t i = 0; i < N; ++i) table[i] = FunctionEntry{entries[i].name, entries[i].handler};
  return table;
}

// Supplied by each module.
extern const FunctionTable kFunctionTable;
extern const char16_t* const kDispatchFailureMessage;

// Internal steps of the entry point, exposed for the module's own use only.
ZcRxDynamicLinker* findDynamicLinker();
int defineFunctions();
int undefineFunctions();
int dispatchFunction();

// Argument helpers. Each takes a list node, which may be null.
inline bool isString(const ResultBuffer* arg) {
  return arg && arg->restype == kRtString;
}
inline const ResultBuffer* nextArg(const ResultBuffer* arg) {
  return arg ? arg->rbnext : nullptr;
}
// The text of a kRtString node; a null pointer reads as the empty text.
inline std::u16string_view argText(const ResultBuffer* arg) {
  // The host's string type is UTF-16 whatever its name (char16_t, wchar_t).
  const auto* text = reinterpret_cast<const char16_t*>(arg->resval.rstring);
  return text ? std::u16string_view(text) : std::u16string_view();
}
