// The plug-in frame shared by both modules: the function table each module
// supplies, and small helpers for reading argument lists.
#pragma once

#include <array>
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
