// Arbitrary bytes as a script's text, arriving in pieces of arbitrary sizes:
// the decoder may answer lines or refuse bad text, never crash, and every
// line it answers is UTF-8. Text that is valid UTF-8 throughout comes back
// byte for byte however it was cut, but that a CR alone, which ends a line,
// comes back as the LF it stands for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lisp/lisp.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  // The first byte picks where the pieces are cut.
  const unsigned cut = data[0] % 7 + 1;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  lisp::LineDecoder decoder;
  std::string lines, line;
  bool bad = false;
  auto drain = [&] {
    for (;;) {
      const lisp::LineDecoder::Result result = decoder.next(&line);
      if (result == lisp::LineDecoder::Result::kNone) return;
      if (result == lisp::LineDecoder::Result::kBad) {
        bad = true;
        return;
      }
      if (!platform::isValidUtf8(line)) std::abort();
      lines += line;
    }
  };
  for (size_t at = 0; at < text.size() && !bad; at += cut) {
    decoder.add(std::string_view(text).substr(at, cut));
    drain();
  }
  decoder.end();
  if (!bad) drain();
  const bool marked = text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xFF\xFE") ||
                      text.starts_with("\xFE\xFF");
  std::string expected = text;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == '\r' && (i + 1 == expected.size() || expected[i + 1] != '\n')) {
      expected[i] = '\n';
    }
  }
  if (!marked && platform::isValidUtf8(text) && (bad || lines != expected)) std::abort();
  return 0;
}
