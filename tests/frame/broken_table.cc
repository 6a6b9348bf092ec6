// Compiled by the test suite: a well-formed table compiles, and each broken
// one (chosen by a BROKEN_ macro) must not.
#include "frame/frame.h"

namespace {
int handler(const ResultBuffer*) {
  return kRtNormal;
}
}  // namespace

#if defined(BROKEN_five_entries)
const FunctionTable kFunctionTable = makeFunctionTable(
    {{u"a", handler}, {u"b", handler}, {u"c", handler}, {u"d", handler}, {u"e", handler}});
#elif defined(BROKEN_null_handler)
const FunctionTable kFunctionTable = makeFunctionTable({{u"a", handler},
                                                        {u"b", handler},
                                                        {u"c", nullptr},
                                                        {u"d", handler},
                                                        {u"e", handler},
                                                        {u"f", handler}});
#else
const FunctionTable kFunctionTable = makeFunctionTable({{u"a", handler},
                                                        {u"b", handler},
                                                        {u"c", handler},
                                                        {u"d", handler},
                                                        {u"e", handler},
                                                        {u"f", handler}});
#endif
