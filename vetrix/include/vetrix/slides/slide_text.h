// A slide as text, one line a record, and back: what `slb dump` prints and
// `slb make` reads, so that slides can be kept and compared as text.
//
//   slide new little-endian 573x293 aspect 1.4647307 hardware-fill 2
//   colour 7
//   vector 572 292 0 0
//   offset 18 -25 18 -50
//   endpoint 0 0
//   fill 4 -2
//   end
//
// The first line is the header: the format (new or old), the byte order,
// the screen's size in dots (the highest dot plus one), the aspect ratio
// (new format: at most 7 decimals, as the header stores it times 1e7; old:
// the double it stores, in the fewest digits that give it back), and the
// hardware fill flag. Then a line for each record, in order: `vector X1 Y1
// X2 Y2` (X1 from 0 to 32767), `offset DX1 DY1 DX2 DY2` (from the last
// point, each -128 to 127), `endpoint X Y` (the point the vector from the
// last point reaches, -128 to 127 dots from it on each axis), `fill X Y` (a
// vertex; a negative Y starts or ends a solid fill), `colour N` (0 to 255)
// and `end`, which is the last. The last point is the from point of a
// vector or an offset vector, and the point an endpoint reaches. Blank
// lines and lines that begin with # are left out; words are separated by
// spaces or tabs, and a line may end in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "vetrix/slides/slide_file.h"

// What slideToText made of a slide.
struct SlideText {
  bool isSlide = false;    // the header is a slide's
  std::string text;        // empty unless the slide has its text
  SlideProblem refused;    // why the slide has no exact text (`what` empty when it has)
  platform::Status cause;  // a read that failed
};

// The text of a slide, which slideFromText makes back into the same bytes.
// A slide with a problem (slb check lists them), or with bytes that no
// field of the text holds (a fill vertex or end record whose spare low
// byte is not 0, an old header whose unused byte is not), has none: the
// first of them is refused. Memory grows with the slide.
SlideText slideToText(const SlideSource& slide);

// Why a text makes no slide: the line at fault (1 is the first), and what
// is wrong there.
struct SlideTextFault {
  size_t line = 0;
  std::string what;
};

// The bytes of the slide `text` describes, into *slide. False with *fault
// for a line that is no header or record of the text, a field out of its
// range, a text without its end line or with records after it, and
// records that would make a slide with a problem (a solid fill of fewer
// than 3 or more than 10 vertices, or never closed; a vertex outside a
// fill). *slide is then empty.
bool slideFromText(std::string_view text, std::string* slide, SlideTextFault* fault);
