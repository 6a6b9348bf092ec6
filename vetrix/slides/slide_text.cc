#include "vetrix/slides/slide_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "vetrix/slides/slide_writer.h"

namespace {

constexpr char kHeaderWord[] = "slide";
constexpr unsigned kMaxDots = 0x10000;  // a 16-bit highest dot, plus one

std::string hexByte(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// The aspect ratio as the header line shows it.
std::string aspectText(const SlideHeader& h) {
  if (h.level == 2) {
    const long long stored = std::llround(h.aspect * kAspectScale);
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%07lld", stored / 10000000, stored % 10000000);
    return text;
  }
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, h.aspect);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// Writes the lines of the records as they are read, and keeps the first
// byte that no field of the text holds.
class TextWriter : public SlideVisitor {
 public:
  explicit TextWriter(std::string* text) : text_(*text) {}

  bool header(const SlideHeader& h) override {
    if (h.level == 1 && h.spare != 0)
      refuse(kOldSlideHeaderSize - 1, "the unused header byte is " + hexByte(h.spare));
    text_ += std::string(kHeaderWord) + (h.level == 2 ? " new " : " old ") +
             (h.bigEndian ? "big-endian " : "little-endian ") + std::to_string(h.highX + 1) + "x" +
             std::to_string(h.highY + 1) + " aspect " + aspectText(h) + " hardware-fill " +
             std::to_string(h.fillType) + "\n";
    return true;
  }

  void record(const SlideRecord& r) override {
    const int* f = r.fields;
    char line[96];
    switch (r.kind) {
      case SlideRecordKind::kVector:
        std::snprintf(line, sizeof line, "vector %d %d %d %d\n", f[0], f[1], f[2], f[3]);
        lastX_ = f[0];
        lastY_ = f[1];
        break;
      case SlideRecordKind::kOffsetVector:
        std::snprintf(line, sizeof line, "offset %d %d %d %d\n", f[0], f[1], f[2], f[3]);
        lastX_ += f[0];
        lastY_ += f[1];
        break;
      case SlideRecordKind::kEndpointVector:
        lastX_ += f[0];
        lastY_ += f[1];
        std::snprintf(line, sizeof line, "endpoint %lld %lld\n", static_cast<long long>(lastX_),
                      static_cast<long long>(lastY_));
        break;
      case SlideRecordKind::kFillVertex:
        if (r.low != 0) refuse(r.offset, "a fill vertex's low byte is " + hexByte(r.low));
        std::snprintf(line, sizeof line, "fill %d %d\n", f[0], f[1]);
        break;
      case SlideRecordKind::kColour:
        std::snprintf(line, sizeof line, "colour %d\n", f[0]);
        break;
      case SlideRecordKind::kEnd:
        std::snprintf(line, sizeof line, "end\n");
        break;
    }
    text_ += line;
  }

  const SlideProblem& refused() const { return refused_; }

 private:
  void refuse(uint64_t offset, std::string what) {
    if (refused_.what.empty())
      refused_ = {offset, std::move(what) + ", which the text does not keep"};
  }

  std::string& text_;
  // The last point, which offsets move: wide enough for any slide.
  int64_t lastX_ = 0, lastY_ = 0;
  SlideProblem refused_;
};

// The words of a line, split at spaces and tabs.
std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(line.find_first_of(" \t", start), line.size());
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

// A whole number from min to max, in decimal with an optional minus sign.
bool number(std::string_view word, int64_t min, int64_t max, int64_t* value) {
  if (word.empty() || word.size() > 20) return false;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *value);
  return ec == std::errc() && end == word.data() + word.size() && *value >= min && *value <= max;
}

// A new-format aspect ratio: digits, and at most 7 decimals, as the header
// stores it times 1e7 (from 1 to 0xFFFFFFFF).
bool newAspect(std::string_view word, double* aspect) {
  const size_t point = word.find('.');
  const std::string_view whole = word.substr(0, point);
  const std::string_view decimals = point == std::string_view::npos ? "" : word.substr(point + 1);
  if (whole.empty() || whole.size() > 3 || decimals.size() > 7 ||
      (point != std::string_view::npos && decimals.empty())) {
    return false;
  }
  uint64_t stored = 0;
  for (char c : whole) {
    if (c < '0' || c > '9') return false;
    stored = stored * 10 + static_cast<unsigned>(c - '0');
  }
  for (size_t k = 0; k < 7; ++k) {
    const char c = k < decimals.size() ? decimals[k] : '0';
    if (c < '0' || c > '9') return false;
    stored = stored * 10 + static_cast<unsigned>(c - '0');
  }
  if (stored == 0 || stored > 0xFFFFFFFFu) return false;
  *aspect = static_cast<double>(stored) / kAspectScale;
  return true;
}

bool oldAspect(std::string_view word, double* aspect) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *aspect);
  return ec == std::errc() && end == word.data() + word.size() && *aspect > 0 && *aspect < 1e6;
}

// "573x293": the screen's size in dots.
bool dots(std::string_view word, unsigned* highX, unsigned* highY) {
  const size_t x = word.find('x');
  int64_t width = 0, height = 0;
  if (x == std::string_view::npos || !number(word.substr(0, x), 1, kMaxDots, &width) ||
      !number(word.substr(x + 1), 1, kMaxDots, &height)) {
    return false;
  }
  *highX = static_cast<unsigned>(width - 1);
  *highY = static_cast<unsigned>(height - 1);
  return true;
}

// Reads the header line into *header; false with what is wrong.
bool readHeader(const std::vector<std::string_view>& w, SlideHeader* header, std::string* what) {
  if (w[0] != kHeaderWord) {
    *what = "the first line is not the header (slide new|old little-endian|big-endian ...)";
    return false;
  }
  if (w.size() != 8 || (w[1] != "new" && w[1] != "old") ||
      (w[2] != "little-endian" && w[2] != "big-endian") || w[4] != "aspect" ||
      w[6] != "hardware-fill") {
    *what =
        "the header is slide new|old little-endian|big-endian WIDTHxHEIGHT aspect RATIO "
        "hardware-fill N";
    return false;
  }
  header->level = w[1] == "new" ? 2 : 1;
  header->size = header->level == 2 ? kNewSlideHeaderSize : kOldSlideHeaderSize;
  header->bigEndian = w[2] == "big-endian";
  int64_t fill = 0;
  if (!dots(w[3], &header->highX, &header->highY)) {
    *what = "the screen's size is WIDTHxHEIGHT, each from 1 to 65536 dots";
  } else if (header->level == 2 ? !newAspect(w[5], &header->aspect)
                                : !oldAspect(w[5], &header->aspect)) {
    *what = header->level == 2
                ? "the aspect ratio is above 0, with at most 7 decimals, up to 429.4967295"
                : "the aspect ratio is a number above 0 and below 1000000";
  } else if (!number(w[7], 0, 0xFFFF, &fill)) {
    *what = "hardware-fill is a number from 0 to 65535";
  } else {
    header->fillType = static_cast<unsigned>(fill);
    return true;
  }
  return false;
}

// A record's line: its word, its fields, and their range.
struct RecordForm {
  const char* word;
  size_t fields;
  int64_t min, max;
  const char* says;  // what a fault says the fields are
};

constexpr RecordForm kForms[] = {
    {"vector", 4, -32768, 32767,
     "vector X1 Y1 X2 Y2: X1 from 0 to 32767, the others -32768 to 32767"},
    {"offset", 4, kMinOffset, kMaxOffset, "offset DX1 DY1 DX2 DY2: each from -128 to 127"},
    {"endpoint", 2, INT64_MIN / 4, INT64_MAX / 4, "endpoint X Y: whole numbers"},
    {"fill", 2, -32768, 32767, "fill X Y: each from -32768 to 32767"},
    {"colour", 1, 0, 255, "colour N: from 0 to 255"},
    {"end", 0, 0, 0, "end: no fields"},
};

// Reads the records after the header; false with *fault.
class TextReader {
 public:
  TextReader(std::string_view text, std::string* slide, SlideTextFault* fault)
      : text_(text), slide_(*slide), fault_(*fault) {}

  bool run() {
    std::optional<SlideWriter> writer;
    bool ended = false;
    while (nextLine()) {
      const std::vector<std::string_view> w = wordsOf(line_);
      if (w.empty() || w[0][0] == '#') continue;
      if (!writer) {
        SlideHeader header;
        std::string what;
        if (!readHeader(w, &header, &what)) return fail(what);
        writer.emplace(header);
        continue;
      }
      if (ended) return fail("nothing but blank lines and comments follows end");
      const RecordForm* form = std::find_if(std::begin(kForms), std::end(kForms),
                                            [&](const RecordForm& f) { return w[0] == f.word; });
      if (form == std::end(kForms)) {
        return fail("no record is called " + std::string(w[0]) +
                    " (vector, offset, endpoint, fill, colour, end)");
      }
      int64_t f[4] = {};
      bool good = w.size() == form->fields + 1;
      for (size_t k = 0; good && k < form->fields; ++k) {
        good = number(w[k + 1], form->min, form->max, &f[k]);
      }
      const auto kind = form - std::begin(kForms);
      if (good && kind == 0) good = f[0] >= 0;  // a vector's from X
      if (!good) return fail(form->says);
      lines_.emplace_back(writer->offset(), lineNumber_);
      switch (kind) {
        case 0:
          writer->vector(int(f[0]), int(f[1]), int(f[2]), int(f[3]));
          lastX_ = f[0], lastY_ = f[1];
          break;
        case 1:
          writer->offsetVector(int(f[0]), int(f[1]), int(f[2]), int(f[3]));
          lastX_ += f[0], lastY_ += f[1];
          break;
        case 2: {
          const int64_t dx = f[0] - lastX_, dy = f[1] - lastY_;
          if (dx < kMinOffset || dx > kMaxOffset || dy < kMinOffset || dy > kMaxOffset) {
            return fail("endpoint " + std::to_string(f[0]) + " " + std::to_string(f[1]) +
                        " is more than 128 dots from the last point, " + std::to_string(lastX_) +
                        " " + std::to_string(lastY_) + " (-128 to 127 on each axis)");
          }
          writer->endpointVector(int(dx), int(dy));
          lastX_ = f[0], lastY_ = f[1];
          break;
        }
        case 3:
          writer->fillVertex(int(f[0]), int(f[1]));
          break;
        case 4:
          writer->colour(unsigned(f[0]));
          break;
        default:
          writer->end();
          ended = true;
          break;
      }
    }
    if (!writer) return fail("there is no header line (slide new|old ...)");
    if (!ended) return fail("the text ends without its end line");
    slide_ = writer->bytes();
    return check();
  }

 private:
  bool nextLine() {
    if (at_ >= text_.size()) return false;
    const size_t end = std::min(text_.find('\n', at_), text_.size());
    line_ = text_.substr(at_, end - at_);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    at_ = end + 1;
    ++lineNumber_;
    return true;
  }

  bool fail(std::string what) {
    fault_ = {lineNumber_, std::move(what)};
    slide_.clear();
    return false;
  }

  // Reads the slide made, as every reader would: a problem is the fault of
  // the line of its record.
  bool check() {
    // The first problem only: the shapes are not wanted.
    struct First : SlideVisitor {
      void problem(const SlideProblem& p) override {
        if (what.empty()) offset = p.offset, what = p.what;
      }
      uint64_t offset = 0;
      std::string what;
    } first;
    scanSlide(std::string_view(slide_), first);
    if (first.what.empty()) return true;
    const auto after =
        std::upper_bound(lines_.begin(), lines_.end(), std::make_pair(first.offset, SIZE_MAX));
    lineNumber_ = after == lines_.begin() ? 1 : std::prev(after)->second;
    return fail(first.what);
  }

  std::string_view text_;
  std::string& slide_;
  SlideTextFault& fault_;
  size_t at_ = 0, lineNumber_ = 0;
  std::string_view line_;
  int64_t lastX_ = 0, lastY_ = 0;
  std::vector<std::pair<uint64_t, size_t>> lines_;  // each record's offset, and its line
};

}  // namespace

SlideText slideToText(const SlideSource& slide) {
  SlideText result;
  TextWriter writer(&result.text);
  const SlideScan scan = scanSlide(slide, writer);
  result.isSlide = scan.isSlide;
  result.cause = scan.cause;
  if (!scan.isSlide || scan.problems > 0) {
    result.refused = scan.first;
  } else if (!writer.refused().what.empty()) {
    result.refused = writer.refused();
  }
  if (!result.refused.what.empty() || !result.cause.ok()) result.text.clear();
  return result;
}

bool slideFromText(std::string_view text, std::string* slide, SlideTextFault* fault) {
  return TextReader(text, slide, fault).run();
}
