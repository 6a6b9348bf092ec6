// The host CAD application's plug-in interface, as the modules see it.
//
// Every operation here is implemented by the host (on Linux by the emulated
// host library in host/) and imported by the modules. All text that crosses
// this interface is UTF-16 (char16_t), NUL-terminated.
//
// Ownership: argument lists and symbol values are host-owned chains of
// ResultBuffer; a module never frees them. Text handed to zcedRetStr is
// copied by the host during the call.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(ZC_HOST_BUILD)
#define ZC_HOST_API __declspec(dllexport)
#else
#define ZC_HOST_API __declspec(dllimport)
#endif
#define ZC_MODULE_EXPORT __declspec(dllexport)
#else
#define ZC_HOST_API __attribute__((visibility("default")))
#define ZC_MODULE_EXPORT __attribute__((visibility("default")))
#endif

// Type codes of a ResultBuffer. The modules know the first three; the host
// uses the others for values the modules never accept.
constexpr int16_t kRtReal = 5001;    // value.rreal
constexpr int16_t kRtShort = 5003;   // value.rint
constexpr int16_t kRtString = 5005;  // value.rstring
constexpr int16_t kRtLong = 5010;    // value.rlong, a 32-bit integer
constexpr int16_t kRtListBegin = 5016;
constexpr int16_t kRtListEnd = 5017;
constexpr int16_t kRtNil = 5019;
constexpr int16_t kRtT = 5021;

// Statuses.
constexpr int kRtNormal = 5100;
constexpr int kRtError = -5001;

// One node of a host list of typed values.
struct ResultBuffer {
  ResultBuffer* rbnext;  // null ends the list
  int16_t restype;
  union {
    double rreal;
    int16_t rint;
    int32_t rlong;
    char16_t* rstring;
  } resval;
};

extern "C" {
// Defines the LISP function `name` with function code `code` for the module
// being driven; nonzero on success.
ZC_HOST_API int zcedDefun(const char16_t* name, int code);
// Removes a definition; the result carries no information.
ZC_HOST_API int zcedUndef(const char16_t* name, int code);
// The function code of the call in progress.
ZC_HOST_API int zcedGetFunCode();
// The arguments of the call in progress, or null for none. Host-owned.
ZC_HOST_API ResultBuffer* zcedGetArgs();
// Sets the LISP value of the call in progress; the text is copied.
ZC_HOST_API int zcedRetStr(const char16_t* text);
ZC_HOST_API int zcedRetReal(double value);
// Reads a LISP symbol. kRtNormal when *value now points at its value (a
// host-owned chain; only the first node is meaningful to the modules).
ZC_HOST_API int zcedGetSym(const char16_t* name, ResultBuffer** value);
// Reports the failure of the call in progress.
ZC_HOST_API int zcdbFail(const char16_t* message);
// printf onto the host's command line. The format is UTF-16 and "%s" takes a
// UTF-16 string.
ZC_HOST_API int zcutPrintf(const char16_t* format, ...);
}

// Run-time classes of the host's service registry.
class ZC_HOST_API ZcRxClass {
 public:
  ZcRxClass(const char16_t* name, const ZcRxClass* parent) : name_(name), parent_(parent) {}
  // True when this class is `other` or derives from it.
  bool isDerivedFrom(const ZcRxClass* other) const;
  const char16_t* name() const { return name_; }

 private:
  const char16_t* name_;
  const ZcRxClass* parent_;
};

class ZC_HOST_API ZcRxObject {
 public:
  virtual ~ZcRxObject();
  // The run-time class of this object, or null.
  virtual const ZcRxClass* isA() const = 0;
};

class ZC_HOST_API ZcRxDynamicLinker : public ZcRxObject {
 public:
  static const ZcRxClass* desc();
  virtual bool unlockApplication(void* appHandle) const = 0;
  virtual bool registerAppMDIAware(void* appHandle) const = 0;
};

class ZC_HOST_API ZcRxDictionary : public ZcRxObject {
 public:
  // The object registered under `key`, or null.
  virtual ZcRxObject* at(const char16_t* key) const = 0;
};

extern "C" ZC_HOST_API ZcRxDictionary* zcrxSysRegistry();

// The service registered under `key`, or null.
inline ZcRxObject* lookupService(const char16_t* key) {
  ZcRxDictionary* registry = zcrxSysRegistry();
  return registry ? registry->at(key) : nullptr;
}

// Messages the host sends to zcrxEntryPoint.
enum EntryMessage : unsigned {
  kEntryInitApp = 1,
  kEntryUnloadApp = 2,
  kEntryLoadDocument = 3,
  kEntryUnloadDocument = 4,
  kEntryInvokeFunction = 5,
};

// The interface version the modules are built for: 2021 in the high half.
constexpr int kApiVersion = 0x07E50000;
