#include "slb/slide_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "cli/escapes.h"

namespace {

using cli::xmlText;

// A colour index as SVG writes it; with no background, colour 0 draws
// nothing.
std::string colour(uint8_t index, Paper paper) {
  if (index == 0 && paper == Paper::kTransparent) return "none";
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", paperColour(index, paper));
  return text;
}

void appendNumber(std::string* out, double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  *out += text;
}

// An <svg> element drawn as the slide's records are read, appended to a
// page: the element opens with the header and closes with finish().
class SvgDrawing : public SlideVisitor {
 public:
  // `size` gives the element's width and height for the slide's aspect ratio.
  SvgDrawing(std::string* out, std::string_view title, Paper paper,
             std::function<std::pair<int, int>(double)> size)
      : out_(*out), title_(title), paper_(paper), size_(std::move(size)) {}

  bool header(const SlideHeader& h) override {
    highY_ = h.highY;
    const auto [width, height] = size_(h.aspect);
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
            "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
            std::to_string(h.highX + 1) + " " + std::to_string(h.highY + 1) +
            "\" preserveAspectRatio=\"none\" shape-rendering=\"crispEdges\">";
    out_ += "<title>" + xmlText(title_) + "</title>";
    out_ +=
        "<g fill=\"none\" stroke-width=\"1\" stroke-linecap=\"square\" "
        "stroke-linejoin=\"bevel\">";
    out_ += "<rect width=\"100%\" height=\"100%\" fill=\"" + colour(0, paper_) + "\"/>";
    open_ = true;
    return true;
  }

  void line(uint8_t lineColour, SlidePoint from, SlidePoint to) override {
    // Lines of one colour in a row go into one path, of a bounded length.
    if (lineColour != pathColour_ || pathLines_ == kPathLines) flush();
    pathColour_ = lineColour;
    ++pathLines_;
    path_ += path_.empty() ? "M" : " M";
    if (from == to) {
      // A vector of one dot: renderers drop a line of no length, so it is
      // drawn as a half-dot line, whose square caps cover its one dot.
      appendNumber(&path_, from.first + 0.25);
      path_ += ' ';
      appendNumber(&path_, static_cast<double>(highY_) - from.second + 0.5);
      path_ += " L";
      appendNumber(&path_, from.first + 0.75);
      path_ += ' ';
      appendNumber(&path_, static_cast<double>(highY_) - from.second + 0.5);
      return;
    }
    appendPoint(&path_, from);
    path_ += " L";
    appendPoint(&path_, to);
  }

  void fill(uint8_t fillColour, const SlidePoint* points, size_t count) override {
    flush();
    out_ += "<polygon vector-effect=\"non-scaling-stroke\" fill=\"" + colour(fillColour, paper_) +
            "\" stroke=\"" + colour(fillColour, paper_) + "\" points=\"";
    for (size_t i = 0; i < count; ++i) {
      if (i) out_ += ' ';
      appendPoint(&out_, points[i]);
    }
    out_ += "\"/>";
  }

  // Closes the element, when the header opened one.
  void finish() {
    if (!open_) return;
    flush();
    out_ += "</g></svg>";
  }

 private:
  static constexpr int kPathLines = 4096;

  // The centre of a dot in SVG coordinates: y grows downwards there.
  void appendPoint(std::string* out, SlidePoint point) const {
    appendNumber(out, point.first + 0.5);
    out->push_back(' ');
    appendNumber(out, static_cast<double>(highY_) - point.second + 0.5);
  }

  void flush() {
    if (path_.empty()) return;
    // Each path keeps its one-dot width at any size: the property is not
    // inherited from a group.
    out_ += "<path vector-effect=\"non-scaling-stroke\" stroke=\"" +
            colour(static_cast<uint8_t>(pathColour_), paper_) + "\" d=\"" + path_ + "\"/>";
    path_.clear();
    pathLines_ = 0;
  }

  std::string& out_;
  std::string_view title_;
  Paper paper_;
  std::function<std::pair<int, int>(double)> size_;
  unsigned highY_ = 0;
  bool open_ = false;
  std::string path_;
  int pathColour_ = -1;
  int pathLines_ = 0;
};

}  // namespace

uint32_t paperColour(uint8_t index, Paper paper) {
  const bool white = paper == Paper::kWhite;
  if (index == 0) return white ? 0xFFFFFF : 0x000000;
  if (!white) return slideColour(index);
  switch (index) {
    case 2:
      return 0x9A7B00;  // yellow: dark gold, 4.0:1 on white
    case 3:
      return 0x008000;  // green: 5.1:1
    case 4:
      return 0x008080;  // cyan: 4.8:1
    case 7:
      return 0x000000;  // white: black
    default:
      return slideColour(index);
  }
}

std::pair<int, int> pictureSize(double aspect, const PictureSize& asked) {
  if (!(aspect > 0)) aspect = 1;
  const auto side = [](double pixels) {
    return static_cast<int>(std::clamp(std::round(pixels), 1.0, double{kMaxPictureSide}));
  };
  if (asked.width > 0 && asked.height > 0) return {side(asked.width), side(asked.height)};
  if (asked.width > 0) return {side(asked.width), side(asked.width / aspect)};
  if (asked.height > 0) return {side(asked.height * aspect), side(asked.height)};
  if (asked.within > 0 && asked.boxHeight > 0) {
    // The largest that fits the box, never a pixel past it.
    const double width = asked.within, height = asked.boxHeight;
    const auto floored = [](double pixels) {
      return static_cast<int>(std::clamp(std::floor(pixels), 1.0, double{kMaxPictureSide}));
    };
    if (width / aspect <= height) return {floored(width), floored(width / aspect)};
    return {floored(height * aspect), floored(height)};
  }
  const double longer = asked.within > 0 ? asked.within : kDefaultPictureSide;
  if (aspect >= 1) return {side(longer), side(longer / aspect)};
  return {side(longer * aspect), side(longer)};
}

SlideScan renderSvg(const SlideSource& slide, std::string_view title, const PictureSize& size,
                    Paper paper, std::string* svg) {
  *svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  SvgDrawing drawing(svg, title, paper, [&](double aspect) { return pictureSize(aspect, size); });
  SlideScan scan = scanSlide(slide, drawing);
  drawing.finish();
  *svg += "\n";
  if (!scan.isSlide) svg->clear();
  return scan;
}

namespace {

// The bytes as base64, for a data: URL.
void appendBase64(std::string* out, std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) << 16 |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                             static_cast<unsigned char>(bytes[i + 2]));
    *out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (const size_t left = bytes.size() - i; left > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) << 16);
    if (left == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1]) << 8);
    *out +=
        {kDigits[v >> 18], kDigits[(v >> 12) & 63], left == 2 ? kDigits[(v >> 6) & 63] : '=', '='};
  }
}

// A sheet up to its first cell: the style, the heading and the search box.
std::string sheetStart(std::string_view title, size_t count, const SheetOptions& options) {
  const bool light = options.paper == Paper::kWhite;
  const std::string cellWidth = std::to_string(options.cellWidth);
  const std::string cellHeight = std::to_string(options.cellWidth * 3 / 4);
  // On paper a picture has a one-pixel border around its cell, which the
  // column holds: a figure paints nothing outside itself (content-visibility
  // contains its paint), so a border past the column would be cut off.
  const int border = light ? 1 : 0;
  const std::string columnWidth = std::to_string(options.cellWidth + 2 * border);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + xmlText(title) +
         "</title><style>\n"
         // Names in Chinese show in a font that has them, where the system has one.
         "body{margin:16px;font:14px \"Noto Sans CJK TC\",\"Noto Sans CJK SC\",\"Microsoft "
         "JhengHei\",\"Microsoft YaHei\",\"PingFang TC\",\"WenQuanYi Zen Hei\",sans-serif;" +
         std::string(light ? "background:#fff;color:#202124}\n"
                           : "background:#202124;color:#e8eaed}\n") +
         "h1{font-size:18px;margin:0 0 12px}\n"
         "input{font:inherit;margin:0 0 12px;padding:4px 8px;width:20em}\n"
         ".sheet{display:grid;grid-template-columns:repeat(" +
         (options.columns > 0 ? std::to_string(options.columns) : std::string("auto-fill")) + "," +
         columnWidth +
         "px);gap:12px}\n"
         // Cells out of view are not drawn until scrolled to.
         "figure{margin:0;content-visibility:auto;contain-intrinsic-size:" +
         columnWidth + "px " + std::to_string(options.cellWidth * 3 / 4 + 2 * border + 24) +
         "px}\n"
         ".picture{width:" +
         cellWidth + "px;height:" + cellHeight +
         "px;background:" + (light ? "#fff;border:1px solid #ccc" : "#000") +
         ";display:flex;align-items:center;justify-content:center}\n"
         "figure.open{content-visibility:visible}\n"
         ".picture img{max-width:100%;max-height:100%;cursor:zoom-in}\n"
         // A picture clicked is shown as large as the window holds.
         "img.large{position:fixed;inset:0;margin:auto;max-width:96vw;max-height:96vh;"
         "width:auto;height:auto;z-index:1;cursor:zoom-out;box-shadow:0 0 0 100vmax "
         "rgba(0,0,0,.6)}\n"
         "figcaption{margin-top:4px;text-align:center}\n"
         ".unreadable{color:#d93025}\n[hidden]{display:none}\n"
         "@media print{input{display:none}}\n</style></head><body>\n<h1>" +
         xmlText(title) + " &mdash; " + std::to_string(count) +
         (count == 1 ? " slide" : " slides") +
         "</h1>\n<input type=\"search\" id=\"find\" placeholder=\"Find a slide by name\" "
         "aria-label=\"Find a slide by name\">\n<div class=\"sheet\">\n";
}

// What ends a sheet: the script that shows only the slides whose names
// hold what is typed in the box.
constexpr char kSheetEnd[] =
    "</div>\n<script>\n"
    "document.getElementById('find').addEventListener('input', function () {\n"
    "  var want = this.value.toUpperCase();\n"
    "  document.querySelectorAll('figure').forEach(function (f) {\n"
    "    f.hidden = want !== '' && f.dataset.name.toUpperCase().indexOf(want) < 0;\n"
    "  });\n"
    "});\n"
    "document.querySelector('.sheet').addEventListener('click', function (e) {\n"
    "  if (e.target.tagName !== 'IMG') return;\n"
    "  e.target.classList.toggle('large');\n"
    "  e.target.closest('figure').classList.toggle('open');\n"
    "});\n</script>\n</body></html>\n";

}  // namespace

platform::Status renderSheet(std::string_view title, const std::vector<SheetSlide>& slides,
                             const SheetOptions& options, std::string* page) {
  std::string& out = *page;
  out = sheetStart(title, slides.size(), options);
  // A picture is as large as its cell allows, at the slide's aspect ratio.
  const auto cellSize = [&](double aspect) {
    const double width = options.cellWidth, height = options.cellWidth * 0.75;
    const auto floored = [width](double pixels) {
      return static_cast<int>(std::clamp(std::floor(pixels), 1.0, width));
    };
    if (width / aspect <= height) return std::pair{floored(width), floored(width / aspect)};
    return std::pair{floored(height * aspect), floored(height)};
  };
  // Entries that name one slide of a library draw it once: the others say
  // whose it is, so that a page never holds one slide over and over.
  std::map<std::pair<const platform::File*, uint64_t>, std::string_view> drawn;
  for (const SheetSlide& slide : slides) {
    out += "<figure data-name=\"" + xmlText(slide.name) + "\"><div class=\"picture\">";
    if (slide.slide.file) {
      const auto [first, added] =
          drawn.emplace(std::pair{slide.slide.file, slide.slide.offset}, slide.name);
      if (!added) {
        out += "<span>the same slide as " + xmlText(first->second) + "</span></div><figcaption>" +
               xmlText(slide.name) + "</figcaption></figure>\n";
        continue;
      }
    }
    std::string why;
    std::string picture;
    if (options.png) {
      PictureSize size;
      size.within = options.cellWidth;
      size.boxHeight = options.cellWidth * 3 / 4;
      if (options.png(slide.slide, size, options.paper, &picture)) {
        out += "<img alt=\"\" src=\"data:image/png;base64,";
        appendBase64(&out, picture);
        out += "\">";
      } else {
        why = picture;
      }
    } else {
      SvgDrawing drawing(&out, slide.name, options.paper, cellSize);
      const SlideScan scan = scanSlide(slide.slide, drawing);
      drawing.finish();
      if (!scan.cause.ok()) why = scan.cause.toString();
      if (scan.cause.ok() && !scan.isSlide) why = scan.first.what;
    }
    if (!why.empty()) {
      out += "<span class=\"unreadable\">not drawn</span>";
      if (options.unreadable) options.unreadable(slide.name, why);
    }
    out += "</div><figcaption>" + xmlText(slide.name) + "</figcaption></figure>\n";
    if (options.done) options.done();
  }
  out += kSheetEnd;
  return platform::Status();
}
