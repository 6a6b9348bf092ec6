// Reads arbitrary bytes as LISP text and prints what was read; the printed
// form must read back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/lisp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  lisp::Reader reader(text);
  for (int i = 0; i < 1000; ++i) {
    lisp::Value form;
    std::string message;
    lisp::Reader::Status status = reader.next(&form, &message);
    if (status == lisp::Reader::Status::kEnd || status == lisp::Reader::Status::kIncomplete) break;
    if (status == lisp::Reader::Status::kError) continue;
    const std::string printed = lisp::prin1String(form);
    std::vector<lisp::Value> again = lisp::readAll(printed);
    if (again.size() != 1 || lisp::prin1String(again[0]) != printed) std::abort();
  }
  return 0;
}
