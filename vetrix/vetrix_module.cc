// vetrix's function table: file utilities, the slide-library editor and the
// dBASE table lookup.
#include "frame/frame.h"
#include "platform/env.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/slides/slbedit.h"

namespace {

// One call: the names it looks up ignoring case are read once per folder
// for the call's length (see platform::NameCache).
template <int (*Handler)(const ResultBuffer*)>
int oneCall(const ResultBuffer* args) {
  const platform::NameCache names;
  return Handler(args);
}

}  // namespace

const FunctionTable kFunctionTable = makeFunctionTable({
    {u"Delfile", oneCall<Delfile>},
    {u"Dirfile", oneCall<Dirfile>},
    {u"Copyfile", oneCall<Copyfile>},
    {u"Slbedit", oneCall<Slbedit>},
    {u"Read_Dbf", oneCall<Read_Dbf>},
    {u"Write_Dbf", oneCall<Write_Dbf>},
});

const char16_t* const kDispatchFailureMessage = u"error: received nonexistent function code\n";
