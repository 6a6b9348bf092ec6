#include "slb/dxf_slide.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_writer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A curve is cut into this many pieces a turn while the extents are found.
constexpr int kExtentsPieces = 64;
// No curve is cut into more pieces than this, however large it is drawn.
constexpr int kMaxPieces = 1 << 16;
// Blocks are nested no deeper than this.
constexpr int kMaxNesting = 32;

struct Point {
  double x = 0, y = 0;
};

// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

  Point operator()(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  // This after `inner`.
  Affine operator*(const Affine& in) const {
    return {a * in.a + c * in.b, b * in.a + d * in.b,     a * in.c + c * in.d,
            b * in.c + d * in.d, a * in.e + c * in.f + e, b * in.e + d * in.f + f};
  }
  // How much longer a length can get.
  double scale() const { return std::sqrt(std::max(a * a + b * b, c * c + d * d)); }
  static Affine move(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static Affine turn(double radians) {
    const double co = std::cos(radians), si = std::sin(radians);
    return {co, si, -si, co, 0, 0};
  }
  static Affine stretch(double x, double y) { return {x, 0, 0, y, 0, 0}; }
};

// Where the shapes go: the extents, or the slide.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void line(Point a, Point b, int colour) = 0;
  virtual void fill(const std::vector<Point>& polygon, int colour) = 0;
  // The area inside closed paths, by the even-odd rule (a path inside
  // another is a hole).
  virtual void area(const std::vector<std::vector<Point>>& paths, int colour) = 0;
  // Half a dot in the drawing's units; 0 while the extents are found.
  virtual double tolerance() const = 0;
};

class Extents : public Sink {
 public:
  void line(Point a, Point b, int) override {
    take(a);
    take(b);
  }
  void fill(const std::vector<Point>& polygon, int) override {
    for (Point p : polygon) take(p);
  }
  void area(const std::vector<std::vector<Point>>& paths, int) override {
    for (const auto& path : paths) {
      for (Point p : path) take(p);
    }
  }
  double tolerance() const override { return 0; }

  bool found = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;

 private:
  void take(Point p) {
    if (!found) {
      x1 = x2 = p.x;
      y1 = y2 = p.y;
      found = true;
    }
    x1 = std::min(x1, p.x), x2 = std::max(x2, p.x);
    y1 = std::min(y1, p.y), y2 = std::max(y2, p.y);
  }
};

// The shapes in dots, clipped to the screen, as slide records.
class SlideSink : public Sink {
 public:
  SlideSink(const SlideHeader& header, const Affine& toDots, double halfDot)
      : slide_(header),
        toDots_(toDots),
        halfDot_(halfDot),
        maxX_(header.highX),
        maxY_(header.highY) {}

  void line(Point a, Point b, int colour) override { lineDots(toDots_(a), toDots_(b), colour); }

  // A line in dots.
  void lineDots(Point a, Point b, int colour) {
    // Liang-Barsky: the part of the line inside the screen.
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - 0, maxX_ - a.x, a.y - 0, maxY_ - a.y};
    for (int k = 0; k < 4; ++k) {
      if (p[k] == 0) {
        if (q[k] < 0) return;
        continue;
      }
      const double r = q[k] / p[k];
      if (p[k] < 0)
        t0 = std::max(t0, r);
      else
        t1 = std::min(t1, r);
      if (t0 > t1) return;
    }
    const Point from{a.x + t0 * dx, a.y + t0 * dy}, to{a.x + t1 * dx, a.y + t1 * dy};
    slide_.line(static_cast<unsigned>(colour), dot(from.x, maxX_), dot(from.y, maxY_),
                dot(to.x, maxX_), dot(to.y, maxY_));
  }

  void fill(const std::vector<Point>& polygon, int colour) override {
    std::vector<Point> in;
    for (Point p : polygon) in.push_back(toDots_(p));
    fillDots(std::move(in), colour);
  }

  // Cut into trapezoids between the heights of the paths' vertices, each
  // filled: between two such heights the edges that cross pair off, left
  // to right, into the spans inside.
  void area(const std::vector<std::vector<Point>>& paths, int colour) override {
    struct Edge {
      Point low, high;
      double xAt(double y) const {
        return low.x + (high.x - low.x) * (y - low.y) / (high.y - low.y);
      }
    };
    std::vector<Edge> edges;
    std::vector<double> heights;
    for (const auto& path : paths) {
      for (size_t k = 0; k < path.size(); ++k) {
        Point a = toDots_(path[k]), b = toDots_(path[(k + 1) % path.size()]);
        heights.push_back(a.y);
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        edges.push_back({a, b});
      }
    }
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.low.y < b.low.y; });
    std::vector<const Edge*> active;
    size_t next = 0;
    for (size_t k = 0; k + 1 < heights.size(); ++k) {
      const double y0 = heights[k], y1 = heights[k + 1], middle = (y0 + y1) / 2;
      if (y1 < 0 || y0 > maxY_) continue;
      while (next < edges.size() && edges[next].low.y <= y0) active.push_back(&edges[next++]);
      active.erase(std::remove_if(active.begin(), active.end(),
                                  [&](const Edge* e) { return e->high.y <= y0; }),
                   active.end());
      std::vector<const Edge*> crossing;
      for (const Edge* e : active) {
        if (e->low.y <= middle && e->high.y > middle) crossing.push_back(e);
      }
      std::sort(crossing.begin(), crossing.end(),
                [&](const Edge* a, const Edge* b) { return a->xAt(middle) < b->xAt(middle); });
      for (size_t j = 0; j + 1 < crossing.size(); j += 2) {
        if (++trapezoids_ > kMaxDrawnShapes) return;  // too many: see tooMany()
        const Edge &left = *crossing[j], &right = *crossing[j + 1];
        fillDots({{left.xAt(y0), y0}, {right.xAt(y0), y0}, {right.xAt(y1), y1}, {left.xAt(y1), y1}},
                 colour);
      }
    }
  }

  // A convex polygon in dots.
  void fillDots(std::vector<Point> in, int colour) {
    // Sutherland-Hodgman against each edge of the screen.
    for (int edge = 0; edge < 4 && !in.empty(); ++edge) {
      auto inside = [&](Point p) {
        switch (edge) {
          case 0:
            return p.x >= 0;
          case 1:
            return p.x <= maxX_;
          case 2:
            return p.y >= 0;
          default:
            return p.y <= maxY_;
        }
      };
      auto cross = [&](Point p, Point q) {
        const double bound = edge == 0 || edge == 2 ? 0 : edge == 1 ? maxX_ : maxY_;
        const double t = edge < 2 ? (bound - p.x) / (q.x - p.x) : (bound - p.y) / (q.y - p.y);
        return Point{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
      };
      std::vector<Point> out;
      for (size_t k = 0; k < in.size(); ++k) {
        const Point p = in[k], q = in[(k + 1) % in.size()];
        if (inside(p)) {
          out.push_back(p);
          if (!inside(q)) out.push_back(cross(p, q));
        } else if (inside(q)) {
          out.push_back(cross(p, q));
        }
      }
      in = std::move(out);
    }
    std::vector<SlidePoint> dots;
    for (Point p : in) {
      const SlidePoint d{dot(p.x, maxX_), dot(p.y, maxY_)};
      if (dots.empty() || dots.back() != d) dots.push_back(d);
    }
    while (dots.size() > 1 && dots.back() == dots.front()) dots.pop_back();
    if (dots.size() < 3) {
      if (!dots.empty()) lineDots(in.front(), in.back(), colour);  // what is left is a line or dot
      return;
    }
    // A fan of pieces of at most kMaxFillVertices: the polygons drawn here are convex.
    for (size_t k = 1; k + 1 < dots.size(); k += kMaxFillVertices - 2) {
      std::vector<SlidePoint> piece{dots[0]};
      for (size_t j = k; j < dots.size() && piece.size() < kMaxFillVertices; ++j) {
        piece.push_back(dots[j]);
      }
      slide_.fill(static_cast<unsigned>(colour), piece.data(), piece.size());
    }
  }

  double tolerance() const override { return halfDot_; }
  const std::string& finish() { return slide_.finish(); }
  // Whether the areas were cut into more trapezoids than a drawing may draw.
  bool tooMany() const { return trapezoids_ > kMaxDrawnShapes; }

 private:
  static int dot(double v, double max) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0, max)));
  }

  CompactSlide slide_;
  Affine toDots_;
  double halfDot_;
  double maxX_, maxY_;
  size_t trapezoids_ = 0;
};

// The nearest ACI colour (1 to 255) to a true colour.
int nearestColour(uint32_t rgb) {
  int best = 7;
  long bestDistance = std::numeric_limits<long>::max();
  for (int i = 1; i < 256; ++i) {
    const uint32_t c = slideColour(static_cast<uint8_t>(i));
    const long dr = long(c >> 16 & 0xFF) - long(rgb >> 16 & 0xFF);
    const long dg = long(c >> 8 & 0xFF) - long(rgb >> 8 & 0xFF);
    const long db = long(c & 0xFF) - long(rgb & 0xFF);
    const long distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) best = i, bestDistance = distance;
  }
  return best;
}

// What an entity inherits from the INSERT that draws it.
struct Inherited {
  std::string layer = "0";  // for the entities on layer 0
  int colour = 7;           // for BYBLOCK
};

// A fault found while drawing, which ends the walk.
struct Stop {
  DxfFault fault;
};

// A code page, with how its bytes group into characters.
struct TextEncoding {
  explicit TextEncoding(int page) : codePage(page), characters(page) {}
  int codePage;  // 65001: UTF-8
  platform::AnsiCharacters characters;
};

class Walker {
 public:
  Walker(const DxfDrawing& d, const DxfView& view, Sink& sink,
         std::map<std::string, size_t>* skipped)
      : d_(d),
        font_(view.font),
        trueType_(view.trueType),
        sink_(sink),
        skipped_(skipped),
        encoding_(dxfCodePage(d)) {}

  void walk(const std::vector<DxfEntity>& list, const Affine& m, const Inherited& from, int depth) {
    for (size_t i = 0; i < list.size(); ++i) {
      const DxfEntity& e = list[i];
      if (depth == 0) top_ = &e;
      if (e.type == "POLYLINE") {
        size_t end = i + 1;
        while (end < list.size() && list[end].type == "VERTEX") ++end;
        drawEntity(e, m, from, depth, &list[i + 1], end - i - 1);
        i = end < list.size() && list[end].type == "SEQEND" ? end : end - 1;
        continue;
      }
      drawEntity(e, m, from, depth, nullptr, 0);
      if (e.type == "INSERT") {  // its attributes, if any, follow it, placed as it is
        size_t end = i + 1;
        while (end < list.size() && list[end].type == "ATTRIB") {
          drawEntity(list[end++], m, from, depth, nullptr, 0);
        }
        if (end > i + 1) i = end < list.size() && list[end].type == "SEQEND" ? end : end - 1;
      }
    }
  }

 private:
  // The first value of group `code`, or `otherwise`.
  double number(const DxfEntity& e, int code, double otherwise) const {
    for (size_t k = 0; k < e.count; ++k) {
      const DxfGroup* g = d_.group(e, k);
      if (g->code != code) continue;
      double n = 0;
      if (!dxfNumber(g->value, &n)) throw Stop{{g->line + 1, "a number is expected here"}};
      return n;
    }
    return otherwise;
  }
  std::string_view text(const DxfEntity& e, int code) const {
    for (size_t k = 0; k < e.count; ++k) {
      if (d_.group(e, k)->code == code) return d_.group(e, k)->value;
    }
    return {};
  }

  void count() {
    if (++shapes_ > kMaxDrawnShapes) {
      throw Stop{{top_->line, "the drawing draws more than " + std::to_string(kMaxDrawnShapes) +
                                  " lines and fills (arrays and nested blocks count each time)"}};
    }
  }

  void line(const Affine& m, Point a, Point b, int colour) {
    count();
    const Point p = m(a), q = m(b);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(q.x) || !std::isfinite(q.y)) {
      throw Stop{{top_->line, "a point beyond the range of numbers"}};
    }
    sink_.line(p, q, colour);
  }

  // Fills the area inside `paths`, given in the drawing's coordinates:
  // solid hatches, and the glyphs of TrueType text.
  void area(const std::vector<std::vector<Point>>& paths, int colour) {
    count();
    for (const auto& path : paths) {
      for (Point p : path) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
          throw Stop{{top_->line, "a point beyond the range of numbers"}};
        }
      }
    }
    sink_.area(paths, colour);
  }

  void fill(const Affine& m, const std::vector<Point>& polygon, int colour) {
    count();
    std::vector<Point> out;
    for (Point p : polygon) {
      out.push_back(m(p));
      if (!std::isfinite(out.back().x) || !std::isfinite(out.back().y)) {
        throw Stop{{top_->line, "a point beyond the range of numbers"}};
      }
    }
    sink_.fill(out, colour);
  }

  // How many pieces a curve of `radius` (in its own units) through
  // `sweep` radians is cut into under `m`.
  int pieces(const Affine& m, double radius, double sweep) const {
    const double turns = std::fabs(sweep) / (2 * kPi);
    const double tolerance = sink_.tolerance();
    double n = kExtentsPieces * turns;
    if (tolerance > 0) {
      const double r = radius * m.scale();
      const double step = r <= tolerance ? kPi / 2 : 2 * std::acos(1 - tolerance / r);
      n = std::fabs(sweep) / std::max(step, 1e-9);
    }
    return static_cast<int>(std::clamp(std::ceil(n), 1.0, double(kMaxPieces)));
  }

  // A piece of a polyline: a line, or a filled band as wide as the
  // polyline's constant width.
  void piece(const Affine& m, Point a, Point b, int colour) {
    const double length = width_ > 0 ? std::hypot(b.x - a.x, b.y - a.y) : 0;
    if (length == 0) {
      line(m, a, b, colour);
      return;
    }
    const Point n{-(b.y - a.y) / length * width_ / 2, (b.x - a.x) / length * width_ / 2};
    fill(m,
         {{a.x + n.x, a.y + n.y},
          {b.x + n.x, b.y + n.y},
          {b.x - n.x, b.y - n.y},
          {a.x - n.x, a.y - n.y}},
         colour);
  }

  // The curve c + cos t U + sin t V, t from t0 to t1.
  void curve(const Affine& m, Point c, Point u, Point v, double t0, double t1, int colour) {
    const double radius = std::max(std::hypot(u.x, u.y), std::hypot(v.x, v.y));
    const int n = pieces(m, radius, t1 - t0);
    // Turned a step at a time: the sine and cosine of each point follow
    // from the last one's by a rotation.
    const double step = (t1 - t0) / n, cosStep = std::cos(step), sinStep = std::sin(step);
    double co = std::cos(t0), si = std::sin(t0);
    Point last{c.x + co * u.x + si * v.x, c.y + co * u.y + si * v.y};
    for (int k = 1; k <= n; ++k) {
      if (k == n) {
        co = std::cos(t1), si = std::sin(t1);
      } else {
        const double turned = co * cosStep - si * sinStep;
        si = si * cosStep + co * sinStep;
        co = turned;
      }
      const Point p{c.x + co * u.x + si * v.x, c.y + co * u.y + si * v.y};
      piece(m, last, p, colour);
      last = p;
    }
  }

  // A polyline's segment from a to b, straight or (bulge: the tangent of a
  // quarter of its angle, positive counter-clockwise) an arc.
  void segment(const Affine& m, Point a, Point b, double bulge, int colour) {
    if (bulge == 0 || (a.x == b.x && a.y == b.y)) {
      piece(m, a, b, colour);
      return;
    }
    const double angle = 4 * std::atan(bulge);
    const double chord = std::hypot(b.x - a.x, b.y - a.y);
    const double radius = chord / (2 * std::sin(angle / 2));
    // The centre, on the chord's perpendicular.
    const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double h = radius * std::cos(angle / 2);
    const Point normal{-(b.y - a.y) / chord, (b.x - a.x) / chord};
    const Point c{mid.x + normal.x * h, mid.y + normal.y * h};
    const double start = std::atan2(a.y - c.y, a.x - c.x);
    const double r = std::fabs(radius);
    curve(m, c, {r, 0}, {0, r}, start, start + angle, colour);
  }

  void spline(const DxfEntity& e, const Affine& m, int colour);
  void hatch(const DxfEntity& e, const Affine& m, int colour);
  // Points along a curve, as curve() cuts it, onto the end of `path`.
  void curvePoints(const Affine& m, Point c, Point u, Point v, double t0, double t1,
                   std::vector<Point>* path) const {
    const double radius = std::max(std::hypot(u.x, u.y), std::hypot(v.x, v.y));
    const int n = pieces(m, radius, t1 - t0);
    for (int k = 0; k <= n; ++k) {
      const double t = t0 + (t1 - t0) * k / n;
      path->push_back({c.x + std::cos(t) * u.x + std::sin(t) * v.x,
                       c.y + std::cos(t) * u.y + std::sin(t) * v.y});
    }
  }
  void drawText(const DxfEntity& e, const Affine& m, int colour);
  void drawMtext(const DxfEntity& e, const Affine& m, int colour);
  // A line of text whose baseline starts at (x, y) in font units, placed by `place`.
  void textLine(const StrokeFont& font, const Affine& place, std::u32string_view chars, double x,
                double y, int colour);

  void drawEntity(const DxfEntity& e, const Affine& outer, const Inherited& from, int depth,
                  const DxfEntity* vertices, size_t vertexCount);

  // The font of a text entity's style: the TrueType font it names, where
  // the system has it, else the stroke font.
  const StrokeFont& fontOf(const DxfEntity& e);

  const DxfDrawing& d_;
  const StrokeFont* font_;
  std::function<StrokeFont::Fallback(std::string_view)> trueType_;
  std::map<std::string, std::unique_ptr<StrokeFont>> styleFonts_;  // null: the stroke font
  Sink& sink_;
  std::map<std::string, size_t>* skipped_;
  TextEncoding encoding_;  // of the drawing's text
  const DxfEntity* top_ = nullptr;
  size_t shapes_ = 0;
  double width_ = 0;  // of the polyline being drawn: its pieces are filled bands
};

// A B-spline (rational when it has weights), from its degree, knots and
// control points; one with fit points only is drawn through them.
void Walker::spline(const DxfEntity& e, const Affine& m, int colour) {
  std::vector<double> knots, weights;
  std::vector<Point> control, fit;
  for (size_t k = 0; k < e.count; ++k) {
    const DxfGroup* g = d_.group(e, k);
    const int code = g->code;
    if (code != 40 && code != 41 && code != 10 && code != 20 && code != 11 && code != 21) continue;
    double n = 0;
    if (!dxfNumber(g->value, &n)) throw Stop{{g->line + 1, "a number is expected here"}};
    if (code == 40) knots.push_back(n);
    if (code == 41) weights.push_back(n);
    if (code == 10) control.push_back({n, 0});
    if (code == 11) fit.push_back({n, 0});
    std::vector<Point>& points = code == 20 ? control : fit;
    if (code == 20 || code == 21) {
      if (points.empty()) throw Stop{{g->line, "a point's Y before its X"}};
      points.back().y = n;
    }
  }
  if (control.empty()) {
    for (size_t k = 0; k + 1 < fit.size(); ++k) line(m, fit[k], fit[k + 1], colour);
    return;
  }
  const int degree = static_cast<int>(number(e, 71, 3));
  const size_t n = control.size();
  if (degree < 1 || degree > 25 || knots.size() != n + static_cast<size_t>(degree) + 1 ||
      !std::is_sorted(knots.begin(), knots.end()) || (!weights.empty() && weights.size() != n)) {
    throw Stop{{e.line, "a SPLINE whose degree, knots and control points do not agree"}};
  }
  if (weights.empty()) weights.assign(n, 1.0);
  const size_t p = static_cast<size_t>(degree);
  const double t0 = knots[p], t1 = knots[n];
  if (!(t1 > t0)) throw Stop{{e.line, "a SPLINE whose knots span nothing"}};
  // De Boor's algorithm on the weighted points.
  std::vector<double> hx(p + 1), hy(p + 1), hw(p + 1);
  auto at = [&](double t) {
    size_t span = p;
    while (span + 1 < n && knots[span + 1] <= t) ++span;
    for (size_t j = 0; j <= p; ++j) {
      const size_t i = span - p + j;
      hw[j] = weights[i];
      hx[j] = control[i].x * weights[i];
      hy[j] = control[i].y * weights[i];
    }
    for (size_t r = 1; r <= p; ++r) {
      for (size_t j = p; j >= r; --j) {
        const size_t i = span - p + j;
        const double width = knots[i + p - r + 1] - knots[i];
        const double a = width > 0 ? (t - knots[i]) / width : 0;
        hx[j] = (1 - a) * hx[j - 1] + a * hx[j];
        hy[j] = (1 - a) * hy[j - 1] + a * hy[j];
        hw[j] = (1 - a) * hw[j - 1] + a * hw[j];
      }
    }
    return hw[p] != 0 ? Point{hx[p] / hw[p], hy[p] / hw[p]} : control[span];
  };
  // Pieces at most two dots long along the control polygon, which is
  // longer than the curve: chords that short stray less than half a dot.
  double length = 0;
  for (size_t k = 0; k + 1 < n; ++k) {
    length += std::hypot(control[k + 1].x - control[k].x, control[k + 1].y - control[k].y);
  }
  const double tolerance = sink_.tolerance();
  const double wanted = tolerance > 0 ? length * m.scale() / (4 * tolerance) : kExtentsPieces;
  const int pieces = static_cast<int>(std::clamp(std::ceil(wanted), 8.0, double(kMaxPieces)));
  Point last = at(t0);
  for (int k = 1; k <= pieces; ++k) {
    const Point next = at(t0 + (t1 - t0) * k / pieces);
    line(m, last, next, colour);
    last = next;
  }
}

namespace {

// How deep a descender reaches below the baseline, and how far apart
// MTEXT's lines are, in font units.
constexpr double kDescender = 7;
constexpr double kLineSpacing = StrokeFont::kCapHeight * 5.0 / 3;

// Adds UTF-16 text as characters.
void addWide(std::u16string_view wide, std::u32string* out) {
  for (size_t k = 0; k < wide.size(); ++k) {
    const char16_t u = wide[k];
    if (u >= 0xD800 && u < 0xDC00 && k + 1 < wide.size() && wide[k + 1] >= 0xDC00 &&
        wide[k + 1] < 0xE000) {
      out->push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (wide[++k] - 0xDC00));
    } else {
      out->push_back(u);
    }
  }
}

// Characters in `encoding`, or false when some are none.
bool decode(std::string_view bytes, const TextEncoding& encoding, std::u16string* wide) {
  if (encoding.codePage != 65001)
    return platform::fromCodePageExact(encoding.codePage, bytes, wide);
  if (!platform::isValidUtf8(bytes)) return false;
  *wide = platform::fromUtf8(bytes);
  return true;
}

// A run of the drawing's bytes as characters of its code page; each byte
// that is no character there is drawn as '?'. Each stretch of characters
// past ASCII is decoded at once, and a character at a time only when the
// stretch holds one that is none.
void addDecoded(std::string_view bytes, const TextEncoding& encoding, std::u32string* out) {
  std::u16string wide;
  for (size_t k = 0; k < bytes.size();) {
    if (static_cast<unsigned char>(bytes[k]) < 0x80) {
      out->push_back(static_cast<unsigned char>(bytes[k++]));
      continue;
    }
    size_t end = k;
    while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) {
      end += encoding.characters.lengthAt(bytes, end);
    }
    if (decode(bytes.substr(k, end - k), encoding, &wide)) {
      addWide(wide, out);
      k = end;
      continue;
    }
    for (; k < end;) {
      const size_t n = encoding.characters.lengthAt(bytes, k);
      if (decode(bytes.substr(k, n), encoding, &wide)) {
        addWide(wide, out);
      } else {
        out->push_back('?');
      }
      k += n;
    }
  }
}

// The value of `digits` hexadecimal digits at text[at], or -1.
long hexAt(std::string_view text, size_t at, size_t digits) {
  if (at + digits > text.size()) return -1;
  long value = 0;
  for (size_t k = at; k < at + digits; ++k) {
    const char c = text[k];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// The length of an escape that stands for a character at text[at]:
// \U+XXXX (a UTF-16 unit) or \M+NXXXX (a double-byte character of the
// code page N names); 0 for none.
size_t escapeAt(std::string_view text, size_t at) {
  if (text.substr(at, 3) == "\\U+" && hexAt(text, at + 3, 4) >= 0) return 7;
  if (text.substr(at, 3) == "\\M+" && at + 3 < text.size() && text[at + 3] >= '1' &&
      text[at + 3] <= '5' && hexAt(text, at + 4, 4) >= 0) {
    return 8;
  }
  return 0;
}

// Text as it is drawn: the drawing's bytes decoded in its code page, the
// \U+ and \M+ escapes as the characters they stand for, and the %% codes
// of TEXT for the degree, plus-minus and diameter signs as the nearest
// letters the stroke font has; underline and overline codes and control
// characters are left out.
std::u32string plainText(std::string_view text, const TextEncoding& encoding) {
  std::u32string out;
  std::string run;  // bytes still to decode
  auto flush = [&] {
    addDecoded(run, encoding, &out);
    run.clear();
  };
  for (size_t k = 0; k < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    // A character's trail byte may be a '\\' or a '%' (Big5's 許 is B3 5C).
    if (const size_t n = encoding.characters.lengthAt(text, k); n > 1) {
      run.append(text.substr(k, n));
      k += n;
      continue;
    }
    if (c == '%' && k + 2 < text.size() && text[k + 1] == '%') {
      flush();
      const char code = static_cast<char>(text[k + 2] | 0x20);
      k += 3;
      if (code == 'd')
        out += U'o';
      else if (code == 'p')
        out += U"+-";
      else if (code == 'c')
        out += U'O';
      else if (code == '%')
        out += U'%';
      continue;
    }
    if (const size_t n = escapeAt(text, k); n > 0) {
      flush();
      if (n == 7) {
        const std::u16string unit(1, static_cast<char16_t>(hexAt(text, k + 3, 4)));
        // A surrogate pair is two escapes.
        std::u16string wide = unit;
        if (escapeAt(text, k + 7) == 7) wide += static_cast<char16_t>(hexAt(text, k + 10, 4));
        std::u32string decoded;
        addWide(wide, &decoded);
        const bool pair = wide.size() == 2 && decoded.size() == 1;
        out += pair ? decoded : std::u32string(1, unit[0]);
        k += pair ? 14 : 7;
      } else {
        static constexpr int kPages[] = {932, 950, 949, 1361, 936};
        const long bytes = hexAt(text, k + 4, 4);
        const char pairBytes[] = {static_cast<char>(bytes >> 8), static_cast<char>(bytes & 0xFF)};
        const int page = kPages[text[k + 3] - '1'];
        if (platform::codePageAvailable(page)) {
          addDecoded(std::string_view(pairBytes, 2), TextEncoding(page), &out);
        } else {
          out += U'?';
        }
        k += 8;
      }
      continue;
    }
    if (c >= ' ') run += static_cast<char>(c);
    ++k;
  }
  flush();
  // Lone surrogates from escapes are no characters.
  for (char32_t& ch : out) {
    if (ch >= 0xD800 && ch < 0xE000) ch = U'?';
  }
  return out;
}

// The lines of an MTEXT: its formatting codes left out, \P ending lines.
std::vector<std::u32string> mtextLines(std::string_view text, const TextEncoding& encoding) {
  std::vector<std::string> lines(1);
  for (size_t k = 0; k < text.size(); ++k) {
    if (const size_t n = encoding.characters.lengthAt(text, k); n > 1) {
      lines.back() += text.substr(k, n);
      k += n - 1;
      continue;
    }
    const char c = text[k];
    if (c == '{' || c == '}') continue;
    if (c != '\\' || k + 1 == text.size()) {
      lines.back() += c;
      continue;
    }
    if (const size_t n = escapeAt(text, k); n > 0) {  // a character: kept for plainText
      lines.back() += text.substr(k, n);
      k += n - 1;
      continue;
    }
    const char code = text[++k];
    if (code == 'P') {
      lines.emplace_back();
    } else if (code == '~') {
      lines.back() += ' ';
    } else if (code == '\\' || code == '{' || code == '}') {
      lines.back() += code;
    } else if (code == 'S') {  // a stack, a^b or a/b: drawn as a/b
      const size_t end = text.find(';', k);
      std::string stack(text.substr(k + 1, end == std::string_view::npos ? end : end - k - 1));
      for (char& s : stack) {
        if (s == '^' || s == '#') s = '/';
      }
      lines.back() += stack;
      k = end == std::string_view::npos ? text.size() : end;
    } else if (std::string_view("LlOoKkNX").find(code) == std::string_view::npos) {
      const size_t end = text.find(';', k);  // \f...; \H...; \C...; and the like
      k = end == std::string_view::npos ? text.size() : end;
    }
  }
  std::vector<std::u32string> out;
  for (const std::string& line : lines) out.push_back(plainText(line, encoding));
  return out;
}

double textWidth(const StrokeFont& font, std::u32string_view line) {
  double width = 0;
  for (char32_t c : line) {
    const StrokeGlyph& g = font.glyph(c);
    width += g.right - g.left;
  }
  return width;
}

// Whether a line may break before and after `c`: the ideographs, kana,
// hangul and full-width forms of East Asian text, which has no spaces
// between its words.
bool breaksAnywhere(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
         (c >= 0x20000 && c <= 0x3FFFF);
}

// MTEXT's lines broken to fit `width` (in font units), as the hosts wrap
// them: after spaces, and around East Asian characters; a word wider than
// the width stands alone on its line, and spaces that end a line go.
std::vector<std::u32string> wrapLines(const std::vector<std::u32string>& lines, double width,
                                      const StrokeFont& font) {
  std::vector<std::u32string> out;
  auto end = [&](std::u32string* line) {
    while (!line->empty() && line->back() == U' ') line->pop_back();
    out.push_back(std::move(*line));
    line->clear();
  };
  for (const std::u32string& line : lines) {
    std::u32string current;
    double currentWidth = 0;
    bool word = false;  // the line being made has a word
    for (size_t k = 0; k < line.size();) {
      size_t stop = k + 1;
      if (!breaksAnywhere(line[k])) {
        stop = k;
        while (stop < line.size() && line[stop] != U' ' && !breaksAnywhere(line[stop])) ++stop;
      }
      size_t spaces = stop;
      while (spaces < line.size() && line[spaces] == U' ') ++spaces;
      const std::u32string_view next(line.data() + k, stop - k);
      const std::u32string_view gap(line.data() + stop, spaces - stop);
      const double w = textWidth(font, next);
      if (word && !next.empty() && currentWidth + w > width) {
        end(&current);
        currentWidth = 0;
        word = false;
      }
      current += next;
      current += gap;
      currentWidth += w + textWidth(font, gap);
      word = word || !next.empty();
      k = spaces;
    }
    end(&current);
  }
  return out;
}

}  // namespace

const StrokeFont& Walker::fontOf(const DxfEntity& e) {
  std::string style = dxfName(text(e, 7));
  if (style.empty()) style = "STANDARD";
  auto known = styleFonts_.find(style);
  if (known == styleFonts_.end()) {
    std::unique_ptr<StrokeFont> font;
    const auto named = d_.styleFonts.find(style);
    if (named != d_.styleFonts.end() && trueType_) {
      std::string file(named->second);
      for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (file.ends_with(".ttf") || file.ends_with(".ttc") || file.ends_with(".otf")) {
        if (StrokeFont::Fallback glyphs = trueType_(named->second)) {
          font = std::make_unique<StrokeFont>(StrokeFont::outlines(std::move(glyphs)));
        }
      }
    }
    known = styleFonts_.emplace(style, std::move(font)).first;
  }
  return known->second ? *known->second : *font_;
}

void Walker::textLine(const StrokeFont& font, const Affine& place, std::u32string_view chars,
                      double x, double y, int colour) {
  std::vector<std::vector<Point>> outlines;
  for (char32_t c : chars) {
    const StrokeGlyph& g = font.glyph(c);
    outlines.clear();
    for (const auto& stroke : g.strokes) {
      auto at = [&](size_t k) {
        return Point{x + stroke[k].first - g.left, y + StrokeFont::kBaseline - stroke[k].second};
      };
      for (size_t k = 0; k + 1 < stroke.size(); ++k) line(place, at(k), at(k + 1), colour);
      if (stroke.size() == 1) line(place, at(0), at(0), colour);
      if (font.filled() && stroke.size() > 2) {
        outlines.emplace_back();
        for (size_t k = 0; k < stroke.size(); ++k) outlines.back().push_back(place(at(k)));
      }
    }
    // A TrueType glyph is filled inside its outlines, as a host fills it.
    if (!outlines.empty()) area(outlines, colour);
    x += g.right - g.left;
  }
}

void Walker::drawText(const DxfEntity& e, const Affine& m, int colour) {
  const StrokeFont& font = fontOf(e);
  const std::u32string line = plainText(text(e, 1), encoding_);
  const double height = number(e, 40, 1), scale = height / StrokeFont::kCapHeight;
  double rotation = number(e, 50, 0) * kPi / 180, widthFactor = number(e, 41, 1);
  const int horizontal = static_cast<int>(number(e, 72, 0));
  const int vertical = static_cast<int>(number(e, e.type == "ATTRIB" ? 74 : 73, 0));
  const Point first{number(e, 10, 0), number(e, 20, 0)};
  const Point second{number(e, 11, first.x), number(e, 21, first.y)};
  const double width = textWidth(font, line);
  // Aligned (3) and fit (5) run from the first point to the second.
  const double run = std::hypot(second.x - first.x, second.y - first.y);
  double xScale = scale * widthFactor, yScale = scale;
  if ((horizontal == 3 || horizontal == 5) && run > 0 && width > 0) {
    rotation = std::atan2(second.y - first.y, second.x - first.x);
    xScale = run / width;
    if (horizontal == 3) yScale = xScale / widthFactor;
  }
  const bool fromFirst = (horizontal == 0 && vertical == 0) || horizontal == 3 || horizontal == 5;
  const Point anchor = fromFirst ? first : second;
  const double x = horizontal == 1 || horizontal == 4 ? -width / 2 : horizontal == 2 ? -width : 0;
  const double y = horizontal == 4 || vertical == 2 ? -StrokeFont::kCapHeight / 2.0
                   : vertical == 3                  ? -double(StrokeFont::kCapHeight)
                   : vertical == 1                  ? kDescender
                                                    : 0;
  const Affine place = m * Affine::move(anchor.x, anchor.y) * Affine::turn(rotation) *
                       Affine::stretch(xScale, yScale);
  textLine(font, place, line, x, y, colour);
}

void Walker::drawMtext(const DxfEntity& e, const Affine& m, int colour) {
  std::string all;
  for (size_t k = 0; k < e.count; ++k) {  // the text runs over groups 3, then ends in 1
    const DxfGroup* g = d_.group(e, k);
    if (g->code == 3 || g->code == 1) all += g->value;
  }
  const StrokeFont& font = fontOf(e);
  std::vector<std::u32string> lines = mtextLines(all, encoding_);
  const double height = number(e, 40, 1), scale = height / StrokeFont::kCapHeight;
  // The reference rectangle's width, which lines wrap to (0: none), and
  // the line spacing factor.
  const double wrapWidth = number(e, 41, 0);
  if (wrapWidth > 0 && scale != 0) lines = wrapLines(lines, wrapWidth / std::fabs(scale), font);
  const double spacing = kLineSpacing * std::clamp(number(e, 44, 1), 0.25, 4.0);
  const Point at{number(e, 10, 0), number(e, 20, 0)};
  const Point direction{number(e, 11, 0), number(e, 21, 0)};
  const double rotation = direction.x != 0 || direction.y != 0
                              ? std::atan2(direction.y, direction.x)
                              : number(e, 50, 0);
  const int attachment = std::clamp(static_cast<int>(number(e, 71, 1)), 1, 9);
  const int column = (attachment - 1) % 3, row = (attachment - 1) / 3;
  const double block = (lines.size() - 1) * spacing + StrokeFont::kCapHeight;
  const double top = row == 0 ? 0 : row == 1 ? block / 2 : block;
  const Affine place =
      m * Affine::move(at.x, at.y) * Affine::turn(rotation) * Affine::stretch(scale, scale);
  for (size_t k = 0; k < lines.size(); ++k) {
    const double width = textWidth(font, lines[k]);
    textLine(font, place, lines[k], -width * column / 2, top - StrokeFont::kCapHeight - k * spacing,
             colour);
  }
}

// A HATCH: its boundary paths (polylines, or edges: lines, arcs, elliptic
// arcs, splines through their control points), filled when the hatch is
// solid, else drawn as outlines.
void Walker::hatch(const DxfEntity& e, const Affine& m, int colour) {
  size_t k = 0;
  const auto next = [&](int code) -> double {
    while (k < e.count && d_.group(e, k)->code != code) ++k;
    if (k == e.count) throw Stop{{e.line, "a HATCH whose boundary is cut short"}};
    const DxfGroup* g = d_.group(e, k++);
    double n = 0;
    if (!dxfNumber(g->value, &n)) throw Stop{{g->line + 1, "a number is expected here"}};
    return n;
  };
  const bool solid = number(e, 70, 0) != 0;
  const double paths = next(91);
  if (paths < 0 || paths > 1e5) throw Stop{{e.line, "a HATCH of too many boundary paths"}};
  std::vector<std::vector<Point>> boundary;
  size_t vertices = 0;
  for (int path = 0; path < paths; ++path) {
    const long flags = static_cast<long>(next(92));
    std::vector<Point> points;
    if (flags & 2) {  // a polyline
      const bool bulges = next(72) != 0;
      next(73);
      const double count = next(93);
      if (count < 0 || count > 1e6) throw Stop{{e.line, "a HATCH path of too many vertices"}};
      std::vector<std::pair<Point, double>> corners;
      for (int j = 0; j < count; ++j) {
        const Point p{next(10), next(20)};
        corners.push_back({p, bulges ? next(42) : 0});
      }
      for (size_t j = 0; j < corners.size(); ++j) {
        const auto& [a, bulge] = corners[j];
        const Point b = corners[(j + 1) % corners.size()].first;
        points.push_back(a);
        if (bulge == 0 || (a.x == b.x && a.y == b.y)) continue;
        const double angle = 4 * std::atan(bulge), chord = std::hypot(b.x - a.x, b.y - a.y);
        const double radius = chord / (2 * std::sin(angle / 2)), h = radius * std::cos(angle / 2);
        const Point c{(a.x + b.x) / 2 - (b.y - a.y) / chord * h,
                      (a.y + b.y) / 2 + (b.x - a.x) / chord * h};
        const double start = std::atan2(a.y - c.y, a.x - c.x), r = std::fabs(radius);
        curvePoints(m, c, {r, 0}, {0, r}, start, start + angle, &points);
      }
    } else {
      const double edges = next(93);
      if (edges < 0 || edges > 1e6) throw Stop{{e.line, "a HATCH path of too many edges"}};
      for (int j = 0; j < edges; ++j) {
        const int type = static_cast<int>(next(72));
        if (type == 1) {
          points.push_back({next(10), next(20)});
          points.push_back({next(11), next(21)});
        } else if (type == 2 || type == 3) {
          const Point c{next(10), next(20)};
          Point u{0, 0}, v{0, 0};
          if (type == 2) {
            const double r = next(40);
            u = {r, 0};
            v = {0, r};
          } else {
            u = {next(11), next(21)};
            const double ratio = next(40);
            v = {-u.y * ratio, u.x * ratio};
          }
          double t0 = next(50), t1 = next(51);
          if (type == 2) t0 *= kPi / 180, t1 *= kPi / 180;
          if (type == 3) t0 *= kPi / 180, t1 *= kPi / 180;
          const bool ccw = next(73) != 0;
          if (!ccw) t0 = -t0, t1 = -t1;  // clockwise: the angles run the other way
          if (ccw) {
            while (t1 <= t0) t1 += 2 * kPi;
          } else {
            while (t1 >= t0) t1 -= 2 * kPi;
          }
          curvePoints(m, c, u, v, t0, t1, &points);
        } else if (type == 4) {  // a spline: through its control points
          next(94);
          const bool rational = next(73) != 0;
          next(74);
          const double knots = next(95), controls = next(96);
          if (knots < 0 || knots > 1e6 || controls < 0 || controls > 1e6) {
            throw Stop{{e.line, "a HATCH spline of too many knots"}};
          }
          for (int q = 0; q < knots; ++q) next(40);
          for (int q = 0; q < controls; ++q) {
            points.push_back({next(10), next(20)});
            if (rational) next(42);
          }
        } else {
          throw Stop{{e.line, "a HATCH edge of unknown type " + std::to_string(type)}};
        }
      }
    }
    vertices += points.size();
    // Filling costs the points times the heights between them.
    if (vertices > (size_t{1} << 14)) {
      throw Stop{{e.line, "a HATCH of more than 16384 boundary points"}};
    }
    boundary.push_back(std::move(points));
  }
  for (auto& path : boundary) {
    for (Point& p : path) p = m(p);
  }
  if (solid) {
    area(boundary, colour);
    return;
  }
  count();
  for (const auto& path : boundary) {
    for (size_t j = 0; j < path.size(); ++j)
      line(Affine(), path[j], path[(j + 1) % path.size()], colour);
  }
}

void Walker::drawEntity(const DxfEntity& e, const Affine& outer, const Inherited& from, int depth,
                        const DxfEntity* vertices, size_t vertexCount) {
  if (number(e, 67, 0) != 0 || number(e, 60, 0) != 0) return;  // paper space, invisible
  // The layer, and its colour.
  std::string layerName = dxfName(text(e, 8));
  if (layerName.empty() || layerName == "0") layerName = from.layer;
  DxfLayer layer;
  if (const auto it = d_.layers.find(layerName); it != d_.layers.end()) layer = it->second;
  if (layer.off || layer.frozen) return;
  const int aci = static_cast<int>(number(e, 62, 256));
  int colour = aci == 0 ? from.colour : aci >= 256 || aci < 0 ? layer.colour : aci;
  if (const double rgb = number(e, 420, -1); rgb >= 0) {
    colour = nearestColour(static_cast<uint32_t>(rgb) & 0xFFFFFF);
  }
  colour = std::clamp(colour, 1, 255);
  // Entities in their object coordinates, whose Z is the extrusion N: by
  // the arbitrary axis rule, X is the world's Y (or Z, for an N near the
  // Z axis) times N, and Y is N times X. Seen from above: their X and Y
  // as the world's, and the elevation along N, in plan.
  double n[3] = {number(e, 210, 0), number(e, 220, 0), number(e, 230, 1)};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0))
    n[0] = 0, n[1] = 0, n[2] = 1;
  else
    n[0] /= length, n[1] /= length, n[2] /= length;
  auto cross = [](const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
    const double l = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    for (int k = 0; k < 3; ++k) out[k] /= l;
  };
  const double worldY[3] = {0, 1, 0}, worldZ[3] = {0, 0, 1};
  double ax[3], ay[3];
  cross(std::fabs(n[0]) < 1.0 / 64 && std::fabs(n[1]) < 1.0 / 64 ? worldY : worldZ, n, ax);
  cross(n, ax, ay);
  const double elevation = number(e, e.type == "LWPOLYLINE" ? 38 : 30, 0);
  const Affine m = outer * Affine{ax[0], ax[1], ay[0], ay[1], elevation * n[0], elevation * n[1]};
  const Point p0{number(e, 10, 0), number(e, 20, 0)};
  const std::string_view type = e.type;
  if (type == "LINE") {
    line(outer, p0, {number(e, 11, 0), number(e, 21, 0)}, colour);
  } else if (type == "POINT") {
    line(outer, p0, p0, colour);
  } else if (type == "CIRCLE" || type == "ARC") {
    const double r = number(e, 40, 0);
    const double t0 = type == "ARC" ? number(e, 50, 0) * kPi / 180 : 0;
    double t1 = type == "ARC" ? number(e, 51, 360) * kPi / 180 : 2 * kPi;
    while (t1 <= t0) t1 += 2 * kPi;
    curve(m, p0, {r, 0}, {0, r}, t0, t1, colour);
  } else if (type == "ELLIPSE") {
    // In world coordinates; the minor axis is the extrusion times the major.
    const double major[3] = {number(e, 11, 0), number(e, 21, 0), number(e, 31, 0)};
    const double ratio = number(e, 40, 1);
    const Point minor{(n[1] * major[2] - n[2] * major[1]) * ratio,
                      (n[2] * major[0] - n[0] * major[2]) * ratio};
    const double t0 = number(e, 41, 0);
    double t1 = number(e, 42, 2 * kPi);
    while (t1 <= t0) t1 += 2 * kPi;
    curve(outer, p0, {major[0], major[1]}, minor, t0, t1, colour);
  } else if (type == "LWPOLYLINE" || type == "POLYLINE") {
    std::vector<std::pair<Point, double>> points;  // each vertex and its bulge
    if (type == "LWPOLYLINE") {
      for (size_t k = 0; k < e.count; ++k) {
        const DxfGroup* g = d_.group(e, k);
        double n = 0;
        if (g->code != 10 && g->code != 20 && g->code != 42) continue;
        if (!dxfNumber(g->value, &n)) throw Stop{{g->line + 1, "a number is expected here"}};
        if (g->code == 10)
          points.push_back({{n, 0}, 0});
        else if (points.empty())
          throw Stop{{g->line, "a vertex's group before its X (10)"}};
        else if (g->code == 20)
          points.back().first.y = n;
        else
          points.back().second = n;
      }
    } else {
      for (size_t k = 0; k < vertexCount; ++k) {
        const DxfEntity& v = vertices[k];
        if (static_cast<long>(number(v, 70, 0)) & 16) continue;  // a spline's frame
        points.push_back({{number(v, 10, 0), number(v, 20, 0)}, number(v, 42, 0)});
      }
    }
    const bool closed = static_cast<long>(number(e, 70, 0)) & 1;
    // A constant width (LWPOLYLINE's, or POLYLINE's when its default start
    // and end widths agree) draws filled bands; varying widths are not kept.
    const double start = number(e, type == "LWPOLYLINE" ? 43 : 40, 0);
    width_ = type == "LWPOLYLINE" || number(e, 41, start) == start ? std::fabs(start) : 0;
    for (size_t k = 0; k + 1 < points.size(); ++k) {
      segment(m, points[k].first, points[k + 1].first, points[k].second, colour);
    }
    if (closed && points.size() > 1) {
      segment(m, points.back().first, points.front().first, points.back().second, colour);
    }
    if (points.size() == 1) line(m, points[0].first, points[0].first, colour);
    width_ = 0;
  } else if (type == "ATTRIB" && (static_cast<long>(number(e, 70, 0)) & 1)) {
    // An invisible attribute.
  } else if ((type == "TEXT" || type == "MTEXT" || type == "ATTRIB") && font_) {
    if (type != "MTEXT")
      drawText(e, m, colour);
    else
      drawMtext(e, outer, colour);
  } else if (type == "HATCH") {
    hatch(e, m, colour);
  } else if (type == "SPLINE") {
    spline(e, outer, colour);
  } else if (type == "SOLID" || type == "TRACE") {
    // The corners run 1, 2, 4, 3 round the quadrilateral; a triangle
    // repeats its third.
    const Point p1{number(e, 11, 0), number(e, 21, 0)}, p2{number(e, 12, 0), number(e, 22, 0)};
    const Point p3{number(e, 13, p2.x), number(e, 23, p2.y)};
    fill(m, {p0, p1, p3, p2}, colour);
  } else if (type == "INSERT") {
    const auto block = d_.blocks.find(dxfName(text(e, 2)));
    if (block == d_.blocks.end()) {
      throw Stop{{e.line, "an INSERT of the block \"" + std::string(text(e, 2)) +
                              "\", which the drawing does not define"}};
    }
    if (depth >= kMaxNesting) {
      throw Stop{{top_->line, "blocks nested deeper than " + std::to_string(kMaxNesting) +
                                  " (a block that inserts itself?)"}};
    }
    const double sx = number(e, 41, 1), sy = number(e, 42, 1);
    const double rotation = number(e, 50, 0) * kPi / 180;
    const double columns = std::max(1.0, number(e, 70, 1)), rows = std::max(1.0, number(e, 71, 1));
    const double dx = number(e, 44, 0), dy = number(e, 45, 0);
    Inherited inside{layerName, colour};
    for (double r = 0; r < rows; ++r) {
      for (double c = 0; c < columns; ++c) {
        count();
        const Affine place = m * Affine::move(p0.x, p0.y) * Affine::turn(rotation) *
                             Affine::move(c * dx, r * dy) * Affine::stretch(sx, sy) *
                             Affine::move(-block->second.baseX, -block->second.baseY);
        walk(block->second.entities, place, inside, depth + 1);
      }
    }
  } else if (type == "DIMENSION" && !text(e, 2).empty()) {
    // Drawn as its block, which holds the lines, arrows and text in the
    // drawing's own coordinates.
    const auto block = d_.blocks.find(dxfName(text(e, 2)));
    if (block == d_.blocks.end()) {
      throw Stop{{e.line, "a DIMENSION of the block \"" + std::string(text(e, 2)) +
                              "\", which the drawing does not define"}};
    }
    if (depth >= kMaxNesting) {
      throw Stop{{top_->line, "blocks nested deeper than " + std::to_string(kMaxNesting) +
                                  " (a block that inserts itself?)"}};
    }
    count();
    walk(block->second.entities, outer, Inherited{layerName, colour}, depth + 1);
  } else if (type == "VIEWPORT" || type == "SEQEND" || type == "VERTEX" ||
             (type == "ATTDEF" && depth > 0)) {
    // Nothing of model space, or drawn with what they belong to.
  } else if (skipped_) {
    ++(*skipped_)[std::string(type)];
  }
}

}  // namespace

DxfSlideResult dxfToSlide(const DxfDrawing& drawing, const DxfView& view) {
  DxfSlideResult result;
  try {
    Extents extents;
    if (view.window) {
      extents.found = true;
      extents.x1 = std::min(view.x1, view.x2), extents.x2 = std::max(view.x1, view.x2);
      extents.y1 = std::min(view.y1, view.y2), extents.y2 = std::max(view.y1, view.y2);
      if (extents.x1 == extents.x2 || extents.y1 == extents.y2) {
        result.fault = {0, "the window has no area"};
        return result;
      }
    } else {
      Walker(drawing, view, extents, nullptr).walk(drawing.entities, Affine(), Inherited(), 0);
      if (!extents.found) {
        result.fault = {0, "the drawing has no extents: nothing in model space is drawn"};
        return result;
      }
    }
    // Fitted and centred; a drawing that is a point or a line fills what it can.
    const double maxX = view.width - 1, maxY = view.height - 1;
    double w = extents.x2 - extents.x1, h = extents.y2 - extents.y1;
    if (w == 0 && h == 0) w = h = 1;
    const double scale = std::min(w > 0 ? maxX / w : INFINITY, h > 0 ? maxY / h : INFINITY);
    if (!std::isfinite(scale) || scale <= 0) {
      result.fault = {0, "the drawing's extents are beyond the range of numbers"};
      return result;
    }
    const Affine toDots =
        Affine::move(maxX / 2, maxY / 2) * Affine::stretch(scale, scale) *
        Affine::move(-(extents.x1 + extents.x2) / 2, -(extents.y1 + extents.y2) / 2);
    SlideHeader header;
    header.highX = static_cast<unsigned>(maxX);
    header.highY = static_cast<unsigned>(maxY);
    // As hosts write it: the highest dots' ratio, cut to the 7 decimals stored.
    header.aspect = maxX > 0 && maxY > 0 ? std::floor(maxX / maxY * kAspectScale) / kAspectScale
                                         : double(view.width) / view.height;
    header.fillType = 2;
    if (!writableHeader(header)) {
      result.fault = {0, "a screen of " + std::to_string(view.width) + " by " +
                             std::to_string(view.height) +
                             " dots: its aspect ratio is more than a slide's header holds"};
      return result;
    }
    SlideSink sink(header, toDots, 0.5 / scale);
    Walker(drawing, view, sink, &result.skipped).walk(drawing.entities, Affine(), Inherited(), 0);
    if (sink.tooMany()) {
      throw Stop{{0, "the drawing's hatches and TrueType text fill more than " +
                         std::to_string(kMaxDrawnShapes) + " trapezoids"}};
    }
    result.slide = sink.finish();
    result.ok = true;
  } catch (const Stop& stop) {
    result.fault = stop.fault;
    result.slide.clear();
  }
  return result;
}
