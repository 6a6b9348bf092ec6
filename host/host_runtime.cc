// The host's state and the host operations that the modules import.
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "host/host.h"
#include "host/host_testing.h"
#include "host/library.h"
#include "platform/platform.h"

namespace zc {

struct Module {
  std::string path;
  void* library = nullptr;
  int (*entryPoint)(unsigned, void*) = nullptr;
};

namespace {

using EntryPointFn = int (*)(unsigned, void*);
using VersionFn = int (*)();

// A host-owned chain of ResultBuffer nodes with the strings they point at.
// The nodes point at each other and into the chain's own storage, so a
// chain is never copied.
class Chain {
 public:
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  explicit Chain(const std::vector<HostValue>& values) {
    size_t count = 0;
    for (const HostValue& v : values) count += nodeCount(v);
    nodes_.reserve(count);
    for (const HostValue& v : values) append(v);
    for (size_t i = 0; i + 1 < nodes_.size(); ++i) nodes_[i].rbnext = &nodes_[i + 1];
  }
  ResultBuffer* head() { return nodes_.empty() ? nullptr : nodes_.data(); }

 private:
  static size_t nodeCount(const HostValue& v) {
    if (v.kind != HostValue::Kind::kList) return 1;
    size_t n = 2;
    for (const HostValue& item : v.items) n += nodeCount(item);
    return n;
  }

  ResultBuffer& node(int16_t type) {
    ResultBuffer rb{};
    rb.restype = type;
    nodes_.push_back(rb);
    return nodes_.back();
  }

  void append(const HostValue& v) {
    switch (v.kind) {
      case HostValue::Kind::kNil:
        node(kRtNil);
        break;
      case HostValue::Kind::kT:
        node(kRtT);
        break;
      case HostValue::Kind::kInt:
        if (v.integer >= -32768 && v.integer <= 32767) {
          node(kRtShort).resval.rint = static_cast<int16_t>(v.integer);
        } else {
          node(kRtLong).resval.rlong = v.integer;
        }
        break;
      case HostValue::Kind::kReal:
        node(kRtReal).resval.rreal = v.real;
        break;
      case HostValue::Kind::kString:
      case HostValue::Kind::kSymbol: {
        // Each string gets exactly its own length plus the terminator, so
        // that a module reading past it is caught by the sanitizers.
        auto text = std::make_unique<char16_t[]>(v.text.size() + 1);
        std::copy(v.text.begin(), v.text.end(), text.get());
        node(kRtString).resval.rstring = text.get();
        strings_.push_back(std::move(text));
        break;
      }
      case HostValue::Kind::kList:
        node(kRtListBegin);
        for (const HostValue& item : v.items) append(item);
        node(kRtListEnd);
        break;
    }
  }

  std::vector<ResultBuffer> nodes_;
  std::vector<std::unique_ptr<char16_t[]>> strings_;
};

struct Definition {
  Module* module;
  int code;
};

struct Call {
  int code = 0;
  ResultBuffer* args = nullptr;
  CallResult* result = nullptr;
  std::vector<std::unique_ptr<Chain>> symbolValues;  // released when the call ends
};

class HostLinker;

struct HostState {
  std::vector<std::unique_ptr<Module>> modules;
  std::map<std::u16string, Definition> functions;  // key: folded name
  std::map<std::u16string, HostValue> symbols;     // key: folded name
  SymbolSource symbolSource;
  Module* driving = nullptr;  // the module receiving a message
  Call* call = nullptr;
  bool recording = false;  // the call log, the transcript, CallResult::printed
  std::u16string transcript;
  bool echo = true;
  bool atLineStart = true;
  int failDefunCode = -1;
  LinkerMode linkerMode = LinkerMode::kLinker;
  std::vector<std::string> callLog;
};

HostState& state() {
  static HostState s;
  return s;
}

std::u16string fold(std::u16string_view name) {
  return platform::toLowerWide(name);
}

// Records a host operation while a test asks for it; `describe` builds the
// line only then.
template <typename Describe>
void logCall(Describe describe) {
  HostState& s = state();
  if (s.recording) s.callLog.push_back(describe());
}

void printLine(std::u16string_view text) {
  HostState& s = state();
  if (s.recording) {
    s.transcript.append(text);
    if (s.call) s.call->result->printed.append(text);
  }
  if (s.echo) writeOutput(platform::toUtf8(text));
}

// --- registry

const ZcRxClass* linkerImplementationClass() {
  static const ZcRxClass cls(u"HostDynamicLinker", ZcRxDynamicLinker::desc());
  return &cls;
}

class HostLinker : public ZcRxDynamicLinker {
 public:
  const ZcRxClass* isA() const override { return linkerImplementationClass(); }
  bool unlockApplication(void* appHandle) const override {
    logCall([&] { return "unlockApplication " + handleText(appHandle); });
    return true;
  }
  bool registerAppMDIAware(void* appHandle) const override {
    logCall([&] { return "registerAppMDIAware " + handleText(appHandle); });
    return true;
  }

 private:
  static std::string handleText(void* handle) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", handle);
    return buffer;
  }
};

// An object of a class unrelated to the linker.
class UnrelatedService : public ZcRxObject {
 public:
  const ZcRxClass* isA() const override {
    static const ZcRxClass cls(u"UnrelatedService", nullptr);
    return &cls;
  }
};

class HostRegistry : public ZcRxDictionary {
 public:
  const ZcRxClass* isA() const override {
    static const ZcRxClass cls(u"HostRegistry", nullptr);
    return &cls;
  }
  ZcRxObject* at(const char16_t* key) const override {
    if (!key || std::u16string_view(key) != u"DynamicLinker") return nullptr;
    switch (state().linkerMode) {
      case LinkerMode::kLinker:
        return &linker_;
      case LinkerMode::kOtherClass:
        return &unrelated_;
      case LinkerMode::kMissing:
        return nullptr;
    }
    return nullptr;
  }

 private:
  mutable HostLinker linker_;
  mutable UnrelatedService unrelated_;
};

int send(Module* module, unsigned message) {
  HostState& s = state();
  Module* previous = s.driving;
  s.driving = module;
  int answer = module->entryPoint(message, applicationHandle(module));
  s.driving = previous;
  return answer;
}

CallResult callModule(Module* module, int code, const std::vector<HostValue>& args) {
  CallResult result;
  Chain chain(args);
  Call call;
  call.code = code;
  call.args = chain.head();
  call.result = &result;
  HostState& s = state();
  Call* outer = s.call;
  s.call = &call;
  const int answer = send(module, kEntryInvokeFunction);
  s.call = outer;
  result.entryAnswer = answer;
  return result;
}

}  // namespace

// ---------------------------------------------------------------- C++ API

Module* loadModule(const std::string& path, std::string* error) {
  void* library = openLibrary(path, error);
  if (!library) return nullptr;
  auto version = reinterpret_cast<VersionFn>(librarySymbol(library, "zcrxGetApiVersion"));
  auto entry = reinterpret_cast<EntryPointFn>(librarySymbol(library, "zcrxEntryPoint"));
  if (!version || !entry) {
    *error = "not a plug-in module (zcrxGetApiVersion or zcrxEntryPoint missing)";
    closeLibrary(library);
    return nullptr;
  }
  const int answered = version();
  if ((static_cast<unsigned>(answered) >> 16) != 2021) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "built for interface version 0x%08X, not 2021",
                  static_cast<unsigned>(answered));
    *error = buffer;
    closeLibrary(library);
    return nullptr;
  }
  auto module = std::make_unique<Module>();
  module->path = path;
  module->library = library;
  module->entryPoint = entry;
  Module* raw = module.get();
  state().modules.push_back(std::move(module));
  send(raw, kEntryInitApp);
  send(raw, kEntryLoadDocument);
  return raw;
}

void unloadModule(Module* module) {
  HostState& s = state();
  send(module, kEntryUnloadDocument);
  send(module, kEntryUnloadApp);
  // Whatever the module left defined goes with it.
  for (auto it = s.functions.begin(); it != s.functions.end();) {
    it = it->second.module == module ? s.functions.erase(it) : std::next(it);
  }
  closeLibrary(module->library);
  for (auto it = s.modules.begin(); it != s.modules.end(); ++it) {
    if (it->get() == module) {
      s.modules.erase(it);
      break;
    }
  }
}

void unloadAllModules() {
  HostState& s = state();
  while (!s.modules.empty()) unloadModule(s.modules.back().get());
}

int sendMessage(Module* module, unsigned message) {
  return send(module, message);
}

std::string modulePath(const Module* module) {
  return module->path;
}

std::vector<Module*> loadedModules() {
  std::vector<Module*> modules;
  for (const auto& module : state().modules) modules.push_back(module.get());
  return modules;
}

void* applicationHandle(const Module* module) {
  return module->library;
}

bool isDefined(std::u16string_view name) {
  return state().functions.count(fold(name)) != 0;
}

CallResult invoke(std::u16string_view name, const std::vector<HostValue>& args) {
  HostState& s = state();
  auto it = s.functions.find(fold(name));
  if (it == s.functions.end()) {
    CallResult result;
    result.error = u"no function definition: " + std::u16string(name);
    return result;
  }
  for (const HostValue& arg : args) {
    if (arg.kind == HostValue::Kind::kSymbol) {
      CallResult result;
      result.error = u"bad argument type: " + arg.text;
      return result;
    }
  }
  Definition definition = it->second;
  return callModule(definition.module, definition.code, args);
}

CallResult invokeCode(Module* module, int code, const std::vector<HostValue>& args) {
  return callModule(module, code, args);
}

void setSymbolSource(SymbolSource source) {
  state().symbolSource = std::move(source);
}

void setSymbol(std::u16string_view name, HostValue value) {
  state().symbols[fold(name)] = std::move(value);
}

void unsetSymbol(std::u16string_view name) {
  state().symbols.erase(fold(name));
}

std::optional<HostValue> symbolValue(std::u16string_view name) {
  if (state().symbolSource) return state().symbolSource(name);
  auto it = state().symbols.find(fold(name));
  if (it == state().symbols.end()) return std::nullopt;
  return it->second;
}

std::u16string transcript() {
  return state().transcript;
}
void clearTranscript() {
  state().transcript.clear();
}
void setEcho(bool echo) {
  state().echo = echo;
}

void writeOutput(std::string_view utf8) {
  if (utf8.empty()) return;
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  state().atLineStart = utf8.back() == '\n';
}

bool outputAtLineStart() {
  return state().atLineStart;
}

void noteLineStart() {
  state().atLineStart = true;
}

void setRecording(bool recording) {
  state().recording = recording;
}

void failDefunForCode(int code) {
  state().failDefunCode = code;
}
void setLinkerMode(LinkerMode mode) {
  state().linkerMode = mode;
}
std::vector<std::string> hostCallLog() {
  return state().callLog;
}
void clearHostCallLog() {
  state().callLog.clear();
}

}  // namespace zc

// ---------------------------------------------------------------- run-time classes

ZcRxObject::~ZcRxObject() = default;

bool ZcRxClass::isDerivedFrom(const ZcRxClass* other) const {
  for (const ZcRxClass* c = this; c; c = c->parent_) {
    if (c == other) return true;
  }
  return false;
}

const ZcRxClass* ZcRxDynamicLinker::desc() {
  static const ZcRxClass cls(u"ZcRxDynamicLinker", nullptr);
  return &cls;
}

// ---------------------------------------------------------------- host operations

using zc::logCall;
using zc::state;

extern "C" {

ZcRxDictionary* zcrxSysRegistry() {
  static zc::HostRegistry registry;
  return &registry;
}

int zcedDefun(const char16_t* name, int code) {
  zc::HostState& s = state();
  std::u16string text = name ? name : u"";
  logCall([&] { return "zcedDefun " + platform::toUtf8(text) + " " + std::to_string(code); });
  if (!s.driving || !name || code == s.failDefunCode) return 0;
  s.functions[zc::fold(text)] = zc::Definition{s.driving, code};
  return 1;
}

int zcedUndef(const char16_t* name, int code) {
  zc::HostState& s = state();
  std::u16string text = name ? name : u"";
  logCall([&] { return "zcedUndef " + platform::toUtf8(text) + " " + std::to_string(code); });
  auto it = s.functions.find(zc::fold(text));
  if (it == s.functions.end() || it->second.module != s.driving || it->second.code != code) {
    return kRtError;
  }
  s.functions.erase(it);
  return kRtNormal;
}

int zcedGetFunCode() {
  logCall([] { return std::string("zcedGetFunCode"); });
  zc::Call* call = state().call;
  return call ? call->code : -1;
}

ResultBuffer* zcedGetArgs() {
  logCall([] { return std::string("zcedGetArgs"); });
  zc::Call* call = state().call;
  return call ? call->args : nullptr;
}

int zcedRetStr(const char16_t* text) {
  logCall([] { return std::string("zcedRetStr"); });
  zc::Call* call = state().call;
  if (!call) return kRtError;
  call->result->kind = zc::CallResult::Kind::kString;
  call->result->text = text ? text : u"";
  return kRtNormal;
}

int zcedRetReal(double value) {
  logCall([] { return std::string("zcedRetReal"); });
  zc::Call* call = state().call;
  if (!call) return kRtError;
  call->result->kind = zc::CallResult::Kind::kReal;
  call->result->real = value;
  return kRtNormal;
}

int zcedGetSym(const char16_t* name, ResultBuffer** value) {
  logCall([] { return std::string("zcedGetSym"); });
  if (!value) return kRtError;
  *value = nullptr;
  zc::Call* call = state().call;
  if (!name || !call) return kRtError;
  std::optional<zc::HostValue> found = zc::symbolValue(name);
  if (!found) return kRtError;
  call->symbolValues.push_back(std::make_unique<zc::Chain>(std::vector<zc::HostValue>{*found}));
  *value = call->symbolValues.back()->head();
  return kRtNormal;
}

int zcdbFail(const char16_t* message) {
  logCall([] { return std::string("zcdbFail"); });
  zc::Call* call = state().call;
  if (!call) return kRtError;
  call->result->failure = message ? message : u"";
  return kRtNormal;
}

int zcutPrintf(const char16_t* format, ...) {
  logCall([] { return std::string("zcutPrintf"); });
  va_list args;
  va_start(args, format);
  std::u16string text = zc::formatPrintf(format, args);
  va_end(args);
  zc::printLine(text);
  return static_cast<int>(text.size());
}

}  // extern "C"
