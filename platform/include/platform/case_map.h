// Windows' own case mapping of UTF-16 code units (CharUpperBuffW,
// CharLowerBuffW), from tables read off Windows (codepages/make_tables.sh),
// so that names and texts fold alike on every platform: Windows leaves µ,
// ς, ǅ, ı and İ as they are, where Unicode's full tables map them.
#pragma once

namespace platform {

char16_t windowsUpper(char16_t unit);
char16_t windowsLower(char16_t unit);

}  // namespace platform
