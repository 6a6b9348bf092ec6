// The emulated host: loads plug-in modules, keeps the host's state behind the
// operations of frame/host_api.h, and invokes the modules' LISP functions.
//
// This is the C++ face of the host library, used by the zchost command and by
// the tests. Everything runs on the caller's thread; the state is
// process-wide, as it is in a real host.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host_api.h"

namespace zc {

// A LISP value as the host holds it.
struct ZC_HOST_API HostValue {
  enum class Kind { kNil, kT, kInt, kReal, kString, kSymbol, kList };
  Kind kind = Kind::kNil;
  int32_t integer = 0;
  double real = 0;
  std::u16string text;  // a string's text or a symbol's name
  std::vector<HostValue> items;

  static HostValue nil() { return HostValue(); }
  static HostValue t() { return withKind(Kind::kT); }
  static HostValue makeInt(int32_t v) {
    HostValue value = withKind(Kind::kInt);
    value.integer = v;
    return value;
  }
  static HostValue makeReal(double v) {
    HostValue value = withKind(Kind::kReal);
    value.real = v;
    return value;
  }
  static HostValue makeString(std::u16string v) {
    HostValue value = withKind(Kind::kString);
    value.text = std::move(v);
    return value;
  }
  static HostValue makeSymbol(std::u16string name) {
    HostValue value = withKind(Kind::kSymbol);
    value.text = std::move(name);
    return value;
  }
  static HostValue makeList(std::vector<HostValue> items) {
    if (items.empty()) return nil();
    HostValue value = withKind(Kind::kList);
    value.items = std::move(items);
    return value;
  }
  bool isNil() const { return kind == Kind::kNil; }

 private:
  static HostValue withKind(Kind kind) {
    HostValue value;
    value.kind = kind;
    return value;
  }
};

// What one call of a module function produced.
struct CallResult {
  enum class Kind { kNone, kString, kReal };
  // Set when the host could not make the call at all (unknown function, an
  // argument no module can receive).
  std::optional<std::u16string> error;
  Kind kind = Kind::kNone;
  std::u16string text;
  double real = 0;
  // The message given to zcdbFail, if any.
  std::optional<std::u16string> failure;
  // What the call printed on the command line, while the host records
  // (host_testing.h).
  std::u16string printed;
  // What the module's entry point answered to the call (0, always).
  int entryAnswer = -1;
};

struct Module;

// Loads a module by file path and sends it kEntryInitApp and
// kEntryLoadDocument. Null with `*error` set when the file cannot be loaded
// or does not answer interface version 2021.
ZC_HOST_API Module* loadModule(const std::string& path, std::string* error);
// Sends kEntryUnloadDocument and kEntryUnloadApp and unloads the library.
ZC_HOST_API void unloadModule(Module* module);
ZC_HOST_API void unloadAllModules();
ZC_HOST_API std::string modulePath(const Module* module);
// The modules loaded, in the order they were loaded.
ZC_HOST_API std::vector<Module*> loadedModules();

// True when a module has defined `name` (case ignored).
ZC_HOST_API bool isDefined(std::u16string_view name);
// Calls the LISP function `name` (case ignored) with `args`.
ZC_HOST_API CallResult invoke(std::u16string_view name, const std::vector<HostValue>& args);

// LISP symbols, as zcedGetSym reads them (names compared ignoring case):
// from the source a LISP installs, else from the host's own table.
using SymbolSource = std::function<std::optional<HostValue>(std::u16string_view name)>;
ZC_HOST_API void setSymbolSource(SymbolSource source);
ZC_HOST_API void setSymbol(std::u16string_view name, HostValue value);
ZC_HOST_API void unsetSymbol(std::u16string_view name);
ZC_HOST_API std::optional<HostValue> symbolValue(std::u16string_view name);

// Whether command-line text also goes to standard output (the default).
ZC_HOST_API void setEcho(bool echo);
// Writes UTF-8 text to standard output, in order with the modules' text.
ZC_HOST_API void writeOutput(std::string_view utf8);
// True when nothing was written yet or the last byte written was a newline.
ZC_HOST_API bool outputAtLineStart();
// Says that the output is at the start of a line (a terminal echoed one).
ZC_HOST_API void noteLineStart();

// Formats a UTF-16 printf format as zcutPrintf does.
ZC_HOST_API std::u16string formatPrintf(const char16_t* format, va_list args);
ZC_HOST_API std::u16string formatString(const char16_t* format, ...);

}  // namespace zc
