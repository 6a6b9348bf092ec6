// Maps the modules' host interface onto the CAD host's SDK for a production
// build (compile with ZC_HOST_SDK defined, the SDK's include folder on the
// include path, and link against the SDK's import libraries for ZWCAD.exe,
// ZwDatabase.dll and ZwRx.dll).
//
// The SDK spells the interface as the modules do (zcedDefun, zcedGetArgs,
// zcutPrintf, zcrxSysRegistry, ZcRxDynamicLinker, ...) but takes wchar_t
// text (ACHAR) where the modules use char16_t: both are UTF-16 on Windows, so
// the wrappers below only change the pointer type. The SDK's resbuf has the
// fields the modules read (rbnext, restype, resval.rreal/rint/rlong/rstring).
#pragma once

#include <cstdint>

#include "zrxHeaders.h"  // the SDK's umbrella header: resbuf, RT* codes, zced*, ZcRx*

using ResultBuffer = resbuf;

constexpr int16_t kRtReal = RTREAL;
constexpr int16_t kRtShort = RTSHORT;
constexpr int16_t kRtLong = RTLONG;  // resval.rlong, a 32-bit integer
constexpr int16_t kRtString = RTSTR;
constexpr int kRtNormal = RTNORM;
constexpr int kRtError = RTERROR;

constexpr int kApiVersion = 0x07E50000;

enum EntryMessage : unsigned {
  kEntryInitApp = ZcRx::kInitAppMsg,
  kEntryUnloadApp = ZcRx::kUnloadAppMsg,
  kEntryLoadDocument = ZcRx::kLoadDwgMsg,
  kEntryUnloadDocument = ZcRx::kUnloadDwgMsg,
  kEntryInvokeFunction = ZcRx::kInvkSubrMsg,
};

#define ZC_MODULE_EXPORT __declspec(dllexport)

namespace zc_sdk {
inline const ACHAR* text(const char16_t* s) {
  return reinterpret_cast<const ACHAR*>(s);
}
}  // namespace zc_sdk

// char16_t overloads beside the SDK's ACHAR functions.
inline int zcedDefun(const char16_t* name, int code) {
  return ::zcedDefun(zc_sdk::text(name), code);
}
inline int zcedUndef(const char16_t* name, int code) {
  return ::zcedUndef(zc_sdk::text(name), code);
}
inline int zcedRetStr(const char16_t* s) {
  return ::zcedRetStr(zc_sdk::text(s));
}
inline int zcedGetSym(const char16_t* name, ResultBuffer** value) {
  return ::zcedGetSym(zc_sdk::text(name), value);
}
inline int zcdbFail(const char16_t* message) {
  return ::zcdbFail(zc_sdk::text(message));
}
// "%s" arguments are char16_t pointers: the same UTF-16 text the SDK expects.
template <typename... Args>
int zcutPrintf(const char16_t* format, Args... args) {
  return ::zcutPrintf(zc_sdk::text(format), args...);
}
// The service registered under `key`, or null.
inline ZcRxObject* lookupService(const char16_t* key) {
  ZcRxDictionary* registry = zcrxSysRegistry();
  return registry ? registry->at(zc_sdk::text(key)) : nullptr;
}
