// calden's function table: small base functions for LISP programs.
#include "calden/base_functions.h"
#include "frame/frame.h"

const FunctionTable kFunctionTable = {{
    {u"$rtd", $rtd},
    {u"$dtr", $dtr},
    {u"$addbl", $addbl},
    {u"$delbl", $delbl},
    {u"$npi", $npi},
    {u"$eorc", $eorc},
}};
static_assert(std::tuple_size_v<FunctionTable> == 6);

const char16_t* const kDispatchFailureMessage = u"接收到不存在的「功能函式碼」。";
