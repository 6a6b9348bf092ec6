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

std::string colour(uint8_t index) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", slideColour(index));
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
std::string drawing(const SlidePicture& picture) {
  const SlideHeader& h = picture.header;
  std::string out = "<rect width=\"100%\" height=\"100%\" fill=\"#000\"/>";
  // Lines of one colour in a row go into one path.
  std::string path;
  int pathColour = -1;
  auto flush = [&] {
    if (path.empty()) return;
    out += "<path stroke=\"" + colour(static_cast<uint8_t>(pathColour)) + "\" d=\"" + path + "\"/>";
    path.clear();
  };
  for (const SlideShape& shape : picture.shapes) {
    if (shape.filled) {
      flush();
      out += "<polygon fill=\"" + colour(shape.colour) + "\" stroke=\"" + colour(shape.colour) +
             "\" points=\"";
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
                       std::string_view title) {
  const SlideHeader& h = picture.header;
  std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
  appendNumber(&out, width);
  out += "\" height=\"";
  appendNumber(&out, height);
  out += "\" viewBox=\"0 0 " + std::to_string(h.highX + 1) + " " + std::to_string(h.highY + 1) +
         "\" preserveAspectRatio=\"none\" shape-rendering=\"crispEdges\">";
  out += "<title>" + escape(title) + "</title>";
  out +=
      "<g fill=\"none\" stroke-width=\"1\" stroke-linecap=\"square\" "
      "vector-effect=\"non-scaling-stroke\">";
  out += drawing(picture);
  out += "</g></svg>";
  return out;
}

}  // namespace

std::pair<double, double> displaySize(const SlideHeader& header) {
  const double height = header.highY + 1.0;
  return {std::round(height * header.aspect), height};
}

std::string renderSvg(const SlidePicture& picture, std::string_view title) {
  const auto [width, height] = displaySize(picture.header);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
         svgElement(picture, width, height, title) + "\n";
}

std::string renderSheet(std::string_view title, const std::vector<SheetSlide>& slides) {
  std::string out = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escape(title) +
                    "</title><style>\n"
                    "body{margin:16px;background:#202124;color:#e8eaed;font:14px sans-serif}\n"
                    "h1{font-size:18px;margin:0 0 12px}\n"
                    ".sheet{display:grid;grid-template-columns:repeat(" +
                    std::to_string(kSheetColumns) + "," + std::to_string(kSheetCellWidth) +
                    "px);gap:12px}\n"
                    "figure{margin:0}\n"
                    ".picture{width:" +
                    std::to_string(kSheetCellWidth) +
                    "px;height:" + std::to_string(kSheetCellHeight) +
                    "px;background:#000;display:flex;align-items:center;justify-content:center}\n"
                    "figcaption{margin-top:4px;text-align:center;font-family:monospace}\n"
                    ".unreadable{color:#f28b82}\n</style></head><body>\n<h1>" +
                    escape(title) + " &mdash; " + std::to_string(slides.size()) +
                    " slides</h1>\n<div class=\"sheet\">\n";
  for (const SheetSlide& slide : slides) {
    SlidePicture picture;
    std::vector<SlideProblem> problems;
    out += "<figure><div class=\"picture\">";
    if (parseSlide(slide.bytes, &picture, &problems)) {
      // As large as the cell allows, at the slide's aspect ratio.
      const auto [width, height] = displaySize(picture.header);
      const double scale = std::min(kSheetCellWidth / width, kSheetCellHeight / height);
      out += svgElement(picture, std::floor(width * scale), std::floor(height * scale), slide.name);
    } else {
      out += "<span class=\"unreadable\">not a slide</span>";
    }
    out += "</div><figcaption>" + escape(slide.name) + "</figcaption></figure>\n";
  }
  out += "</div>\n</body></html>\n";
  return out;
}
