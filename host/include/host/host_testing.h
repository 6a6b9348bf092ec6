// Test entry points of the emulated host: recording what the modules do,
// and making the host misbehave. Nothing is recorded unless a test asks, so
// that a long zchost run does not grow.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace zc {

// Starts or stops recording: the host-call log, the transcript of the
// command line and the text each call printed (CallResult::printed).
ZC_HOST_API void setRecording(bool recording);
// Command-line text printed since the last clear, while recording.
ZC_HOST_API std::u16string transcript();
ZC_HOST_API void clearTranscript();
// Every host operation a module called while recording, one line each
// ("zcedDefun Delfile 0", "unlockApplication", ...), since the last clear.
ZC_HOST_API std::vector<std::string> hostCallLog();
ZC_HOST_API void clearHostCallLog();

// Makes zcedDefun fail (answer 0) for one function code; -1 for none.
ZC_HOST_API void failDefunForCode(int code);
// What the registry answers for "DynamicLinker".
enum class LinkerMode { kLinker, kMissing, kOtherClass };
ZC_HOST_API void setLinkerMode(LinkerMode mode);

// Sends one entry message to a module, as the host would.
ZC_HOST_API int sendMessage(Module* module, unsigned message);
// Sends kEntryInvokeFunction to `module` with an arbitrary function code.
ZC_HOST_API CallResult invokeCode(Module* module, int code, const std::vector<HostValue>& args);
// The application handle the host gave a module.
ZC_HOST_API void* applicationHandle(const Module* module);

}  // namespace zc
