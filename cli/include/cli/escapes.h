// Text from files (slide names, file names) made safe for where it is shown:
// a terminal, a JSON string, XML. The text is UTF-8; bytes that are not
// (a file name on Linux may hold any) are escaped or replaced, never passed
// on raw.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// `text` as it can be written to a terminal, as GNU ls shows names there:
// control characters (C0 and DEL as \x1b, C1 as \u009b), the bidirectional
// embeddings, overrides and isolates (U+202A-U+202E, U+2066-U+2069, as
// \u202e) and bytes that are no UTF-8 (\xff) escaped; the rest as it is.
std::string terminalText(std::string_view text);

// `text` as a JSON string, quotes included: '"' and '\' escaped, and what
// terminalText escapes as \u escapes (\u001b); bytes that are no UTF-8
// become U+FFFD.
std::string jsonString(std::string_view text);

// `text` as XML 1.0 character data or an attribute value in double quotes:
// & < > " as references, and what XML 1.0 forbids (C0 controls but tab, LF
// and CR; U+FFFE, U+FFFF; bytes that are no UTF-8, surrogates among them)
// as U+FFFD.
std::string xmlText(std::string_view text);

}  // namespace cli
