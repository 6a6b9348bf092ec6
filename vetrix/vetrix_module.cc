// vetrix's function table: file utilities, the slide-library editor and the
// dBASE table lookup.
#include "frame/frame.h"
#include "vetrix/dbf/dbf_functions.h"
#include "vetrix/files/file_functions.h"
#include "vetrix/slides/slbedit.h"

const FunctionTable kFunctionTable = makeFunctionTable({
    {u"Delfile", Delfile},
    {u"Dirfile", Dirfile},
    {u"Copyfile", Copyfile},
    {u"Slbedit", Slbedit},
    {u"Read_Dbf", Read_Dbf},
    {u"Write_Dbf", Write_Dbf},
});

const char16_t* const kDispatchFailureMessage = u"error: received nonexistent function code\n";
