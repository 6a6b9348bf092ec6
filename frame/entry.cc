// Exported entry points and function dispatch, built into each module.
#include "frame/frame.h"

namespace {

void unlockApplication(void* appHandle) {
  if (ZcRxDynamicLinker* linker = findDynamicLinker()) linker->unlockApplication(appHandle);
}

void registerMultipleDocuments(void* appHandle) {
  if (ZcRxDynamicLinker* linker = findDynamicLinker()) linker->registerAppMDIAware(appHandle);
}

}  // namespace

ZcRxDynamicLinker* findDynamicLinker() {
  ZcRxObject* found = lookupService(u"DynamicLinker");
  if (!found) return nullptr;
  const ZcRxClass* linkerClass = ZcRxDynamicLinker::desc();
  const ZcRxClass* foundClass = found->isA();
  if (!foundClass || !foundClass->isDerivedFrom(linkerClass)) return nullptr;
  return static_cast<ZcRxDynamicLinker*>(found);
}

int defineFunctions() {
  for (int code = 0; code < kFunctionCount; ++code) {
    if (zcedDefun(kFunctionTable[code].name, code) == 0) return kRtError;
  }
  return kRtNormal;
}

int undefineFunctions() {
  for (int code = 0; code < kFunctionCount; ++code) zcedUndef(kFunctionTable[code].name, code);
  return kRtNormal;
}

int dispatchFunction() {
  const int code = zcedGetFunCode();
  if (code < 0 || code >= kFunctionCount) {
    zcdbFail(kDispatchFailureMessage);
    return kRtError;
  }
  try {
    return kFunctionTable[code].handler(zcedGetArgs());
  } catch (...) {
    // Handlers do not throw by design; memory exhaustion is the one way out.
    return kRtError;
  }
}

extern "C" ZC_MODULE_EXPORT int zcrxGetApiVersion() {
  return kApiVersion;
}

// The host reads nothing from the entry point but 0: a function that could
// not be defined is not there to call, and a call's value reaches LISP only
// through zcedRetStr or zcedRetReal. The steps' statuses are for those that
// call the steps themselves; here they end.
extern "C" ZC_MODULE_EXPORT int zcrxEntryPoint(unsigned message, void* appHandle) {
  switch (message) {
    case kEntryInitApp:
      // Two separate lookups: the linker may be replaced between the calls.
      unlockApplication(appHandle);
      registerMultipleDocuments(appHandle);
      break;
    case kEntryLoadDocument:
      static_cast<void>(defineFunctions());
      break;
    case kEntryUnloadDocument:
      static_cast<void>(undefineFunctions());
      break;
    case kEntryInvokeFunction:
      static_cast<void>(dispatchFunction());
      break;
    default:  // kEntryUnloadApp and unknown messages: nothing to do
      break;
  }
  return 0;
}
