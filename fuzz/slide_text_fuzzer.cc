// Arbitrary bytes as the text of a slide, and as a slide: a text either
// makes a slide that reads without a problem, whose own text makes it
// again, or is refused with a line it has; a slide that has a text is made
// again from it byte for byte. Nothing may crash.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string slide;
  SlideTextFault fault;
  if (slideFromText(input, &slide, &fault)) {
    SlidePicture picture;
    std::vector<SlideProblem> problems;
    if (!parseSlide(slide, &picture, &problems) || !problems.empty()) std::abort();
    const SlideText text = slideToText(std::string_view(slide));
    std::string again;
    if (!text.refused.what.empty() || !slideFromText(text.text, &again, &fault) || again != slide) {
      std::abort();
    }
  } else if (!slide.empty() || fault.what.empty() ||
             fault.line > static_cast<size_t>(std::count(input.begin(), input.end(), '\n')) + 1) {
    std::abort();
  }
  // The input as a slide.
  const SlideText text = slideToText(input);
  if (text.isSlide && text.refused.what.empty() == text.text.empty()) std::abort();
  if (!text.text.empty()) {
    std::string again;
    if (!slideFromText(text.text, &again, &fault) || again != input) std::abort();
  }
  return 0;
}
