// The host interface as the modules include it.
//
// Built against the emulated host (Linux, the tests, the Windows test build),
// the declarations are our own (frame/host_api.h). Built for production with
// the CAD host's own SDK, define ZC_HOST_SDK: frame/host_sdk.h then maps the
// same names onto the SDK's declarations, and nothing else changes.
#pragma once

#if defined(ZC_HOST_SDK)
#include "frame/host_sdk.h"
#else
#include "frame/host_api.h"
#endif
