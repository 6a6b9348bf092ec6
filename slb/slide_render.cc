#include "slb/slide_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A colour index as drawn on `paper`: colour 0 is the background itself
// (symbol sets fill masks with it, as sldtoppm draws them), and colour 7,
// white on the host's black screen, is black on white paper.
std::string colour(uint8_t index, Paper paper) {
  uint32_t rgb = slideColour(index);
  if (index == 0) rgb = paper == Paper::kWhite ? 0xFFFFFF : 0x000000;
  if (index == 7 && paper == Paper::kWhite) rgb = 0x000000;
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb);
  return text;
}

void appendNumber(std::string* out, double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  *out += text;
}

// The centre of a dot in SVG coordinates: y grows downwards there.
void appendPoint(std::string* out, const SlideHeader& header, std::pair<int, int> point) {
  appendNumber(out, point.first + 0.5);
  out->push_back(' ');
  appendNumber(out, static_cast<double>(header.highY) - point.second + 0.5);
}

// The drawing itself, without the outer <svg> element's size.
std::string drawing(const SlidePicture& picture, Paper paper) {
  const SlideHeader& h = picture.header;
  std::string out = "<rect width=\"100%\" height=\"100%\" fill=\"" + colour(0, paper) + "\"/>";
  // Lines of one colour in a row go into one path.
  std::string path;
  int pathColour = -1;
  auto flush = [&] {
    if (path.empty()) return;
    // Each path keeps its one-dot width at any size: the property is not
    // inherited from a group.
    out += "<path vector-effect=\"non-scaling-stroke\" stroke=\"" +
           colour(static_cast<uint8_t>(pathColour), paper) + "\" d=\"" + path + "\"/>";
    path.clear();
  };
  for (const SlideShape& shape : picture.shapes) {
    if (shape.filled) {
      flush();
      out += "<polygon vector-effect=\"non-scaling-stroke\" fill=\"" + colour(shape.colour, paper) +
             "\" stroke=\"" + colour(shape.colour, paper) + "\" points=\"";
      for (size_t i = 0; i < shape.points.size(); ++i) {
        if (i) out += ' ';
        appendPoint(&out, h, shape.points[i]);
      }
      out += "\"/>";
      continue;
    }
    if (shape.colour != pathColour) flush();
    pathColour = shape.colour;
    path += path.empty() ? "M" : " M";
    appendPoint(&path, h, shape.points[0]);
    path += " L";
    if (shape.points[0] == shape.points[1]) {
      // A vector of one dot: renderers drop a line of no length, so it is
      // drawn as a half-dot line, whose square caps cover its one dot.
      path.resize(path.rfind('M') + 1);
      appendNumber(&path, shape.points[0].first + 0.25);
      path += ' ';
      appendNumber(&path, static_cast<double>(h.highY) - shape.points[0].second + 0.5);
      path += " L";
      appendNumber(&path, shape.points[0].first + 0.75);
      path += ' ';
      appendNumber(&path, static_cast<double>(h.highY) - shape.points[0].second + 0.5);
      continue;
    }
    appendPoint(&path, h, shape.points[1]);
  }
  flush();
  return out;
}

std::string svgElement(const SlidePicture& picture, double width, double height,
                       std::string_view title, Paper paper) {
  const SlideHeader& h = picture.header;
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
  appendNumber(&out, width);
  out += "\" height=\"";
  appendNumber(&out, height);
  out += "\" viewBox=\"0 0 " + std::to_string(h.highX + 1) + " " + std::to_string(h.highY + 1) +
         "\" preserveAspectRatio=\"none\" shape-rendering=\"crispEdges\">";
  out += "<title>" + escape(title) + "</title>";
  out += "<g fill=\"none\" stroke-width=\"1\" stroke-linecap=\"square\" stroke-linejoin=\"bevel\">";
  out += drawing(picture, paper);
  out += "</g></svg>";
  return out;
}

}  // namespace

std::pair<double, double> displaySize(const SlideHeader& header) {
  const double height = header.highY + 1.0;
  return {std::round(height * header.aspect), height};
}

std::string renderSvg(const SlidePicture& picture, std::string_view title, Paper paper) {
  const auto [width, height] = displaySize(picture.header);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
         svgElement(picture, width, height, title, paper) + "\n";
}

std::string renderSheet(std::string_view title, const std::vector<SheetSlide>& slides,
                        const SheetOptions& options) {
  const bool light = options.paper == Paper::kWhite;
  const std::string cellWidth = std::to_string(options.cellWidth);
  const std::string cellHeight = std::to_string(options.cellWidth * 3 / 4);
  const size_t count = slides.size();
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escape(title) +
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
      cellWidth +
      "px);gap:12px}\n"
      // Cells out of view are not drawn until scrolled to.
      "figure{margin:0;content-visibility:auto;contain-intrinsic-size:" +
      cellWidth + "px " + std::to_string(options.cellWidth * 3 / 4 + 24) +
      "px}\n"
      ".picture{width:" +
      cellWidth + "px;height:" + cellHeight +
      "px;background:" + (light ? "#fff;border:1px solid #ccc" : "#000") +
      ";display:flex;align-items:center;justify-content:center}\n"
      "figcaption{margin-top:4px;text-align:center}\n"
      ".unreadable{color:#d93025}\n[hidden]{display:none}\n"
      "@media print{input{display:none}}\n</style></head><body>\n<h1>" +
      escape(title) + " &mdash; " + std::to_string(count) + (count == 1 ? " slide" : " slides") +
      "</h1>\n<input type=\"search\" id=\"find\" placeholder=\"Find a slide by name\" "
      "aria-label=\"Find a slide by name\">\n<div class=\"sheet\">\n";
  for (const SheetSlide& slide : slides) {
    SlidePicture picture;
    std::vector<SlideProblem> problems;
    out += "<figure data-name=\"" + escape(slide.name) + "\"><div class=\"picture\">";
    if (parseSlide(slide.bytes, &picture, &problems)) {
      // As large as the cell allows, at the slide's aspect ratio.
      const auto [width, height] = displaySize(picture.header);
      const double scale = std::min(options.cellWidth / width, options.cellWidth * 0.75 / height);
      out += svgElement(picture, std::floor(width * scale), std::floor(height * scale), slide.name,
                        options.paper);
    } else {
      out += "<span class=\"unreadable\">not a slide</span>";
    }
    out += "</div><figcaption>" + escape(slide.name) + "</figcaption></figure>\n";
  }
  out +=
      "</div>\n<script>\n"
      "document.getElementById('find').addEventListener('input', function () {\n"
      "  var want = this.value.toUpperCase();\n"
      "  document.querySelectorAll('figure').forEach(function (f) {\n"
      "    f.hidden = want !== '' && f.dataset.name.toUpperCase().indexOf(want) < 0;\n"
      "  });\n"
      "});\n</script>\n</body></html>\n";
  return out;
}
