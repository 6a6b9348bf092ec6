// Arbitrary bytes as LISP text: each form read must print as text that
// reads back to the same printed form, and is then evaluated within limits
// of steps and memory, with no files, as read or (texts of odd length)
// prepared. Nothing may crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lisp/lisp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  lisp::Interpreter lisp;
  lisp.setOutput([](std::string_view) {});
  lisp.setErrorOutput([](const lisp::Error&) {});
  lisp.setLimits({200000, 200000, 16 << 20, false});
  lisp.setPrepareFirst(size % 2 == 1);
  lisp::Reader reader(lisp, text, "fuzz");
  for (int i = 0; i < 1000; ++i) {
    lisp::Value form;
    lisp::Error error;
    const lisp::Reader::Status status = reader.next(&form, &error);
    if (status == lisp::Reader::Status::kEnd || status == lisp::Reader::Status::kIncomplete) break;
    if (status == lisp::Reader::Status::kError) continue;
    const std::string printed = lisp::prin1String(form, lisp::Reals::kExact);
    lisp::Reader again(lisp, printed);
    lisp::Value back;
    if (again.next(&back, &error) != lisp::Reader::Status::kForm ||
        lisp::prin1String(back, lisp::Reals::kExact) != printed) {
      std::abort();
    }
    try {
      lisp.evalTopLevel(form);
    } catch (const lisp::Error&) {
    } catch (const lisp::ExitRequest&) {
      break;
    }
  }
  return 0;
}
