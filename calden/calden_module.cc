// calden's function table: small base functions for LISP programs.
#include "base_functions.h"
#include "frame/frame.h"

const FunctionTable kFunctionTable = makeFunctionTable({
    {u"$rtd", $rtd},
    {u"$dtr", $dtr},
    {u"$addbl", $addbl},
    {u"$delbl", $delbl},
    {u"$npi", $npi},
    {u"$eorc", $eorc},
});

const char16_t* const kDispatchFailureMessage = u"接收到不存在的「功能函式碼」。";
