// A module whose handlers report what reached them, for testing the frame.
#include "frame/frame.h"

namespace {

// Prints the type code of every argument, or "null" for no list.
int showArguments(const ResultBuffer* args) {
  if (!args)
    zcutPrintf(u"args: null");
  else
    zcutPrintf(u"args:");
  for (; args; args = args->rbnext) zcutPrintf(u" %d", static_cast<int>(args->restype));
  return kRtNormal;
}

int failWithError(const ResultBuffer*) {
  zcutPrintf(u"failing");
  return kRtError;
}

int reportCode2(const ResultBuffer*) {
  return zcutPrintf(u"handler 2"), 1;
}
int reportCode3(const ResultBuffer*) {
  return zcutPrintf(u"handler 3"), 1;
}
int reportCode4(const ResultBuffer*) {
  return zcutPrintf(u"handler 4"), 1;
}
int reportCode5(const ResultBuffer*) {
  return zcutPrintf(u"handler 5"), 1;
}

}  // namespace

const FunctionTable kFunctionTable = makeFunctionTable({
    {u"fake_show", showArguments},
    {u"fake_fail", failWithError},
    {u"fake_two", reportCode2},
    {u"fake_three", reportCode3},
    {u"fake_four", reportCode4},
    {u"fake_five", reportCode5},
});

const char16_t* const kDispatchFailureMessage = u"fake: no such function code";
