// calden's LISP functions. Each takes the call's argument list and returns
// kRtNormal after handing its value to the host, kRtError otherwise; wrong
// arguments are reported through zcdbFail (a missing one silently).
#pragma once

#include "frame/host_interface.h"

// ($rtd radians) -> degrees: x / pi * 180.
int $rtd(const ResultBuffer* args);
// ($dtr degrees) -> radians: x / 180 * pi.
int $dtr(const ResultBuffer* args);
// ($npi n) -> n * pi.
int $npi(const ResultBuffer* args);
// ($addbl text width) -> text padded with blanks to `width` bytes of the ANSI
// code page.
int $addbl(const ResultBuffer* args);
// ($delbl text) -> text without the blanks (U+0020) at either end.
int $delbl(const ResultBuffer* args);
// ($eorc chinese other) -> `chinese` when $acad_code is "CHINESE", else
// `other`.
int $eorc(const ResultBuffer* args);
