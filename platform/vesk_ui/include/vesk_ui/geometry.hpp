#pragma once
// Plain geometry in logical pixels (f64). A rectangle holds the points with
// x0 <= x < x1 and y0 <= y < y1: left and top edges belong to it, right and
// bottom edges do not, so rectangles that share an edge never both claim it.

#include <algorithm>

namespace vesk_ui {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double w = 0;
  double h = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;

  static constexpr Rect from_xywh(double x, double y, double w, double h) {
    return Rect{x, y, x + w, y + h};
  }
  static constexpr Rect from_origin_size(Point p, Size s) { return from_xywh(p.x, p.y, s.w, s.h); }

  constexpr double width() const { return x1 - x0; }
  constexpr double height() const { return y1 - y0; }
  constexpr Size size() const { return Size{width(), height()}; }
  constexpr Point origin() const { return Point{x0, y0}; }
  constexpr Point center() const { return Point{(x0 + x1) / 2, (y0 + y1) / 2}; }
  constexpr bool is_empty() const { return !(x1 > x0 && y1 > y0); }
  constexpr bool contains(Point p) const { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; }
  constexpr Rect inset(double d) const { return Rect{x0 + d, y0 + d, x1 - d, y1 - d}; }
  constexpr Rect inset(double dx, double dy) const {
    return Rect{x0 + dx, y0 + dy, x1 - dx, y1 - dy};
  }
  constexpr Rect translated(double dx, double dy) const {
    return Rect{x0 + dx, y0 + dy, x1 + dx, y1 + dy};
  }
  constexpr Rect intersect(const Rect& o) const {
    return Rect{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
  constexpr bool intersects(const Rect& o) const { return !intersect(o).is_empty(); }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace vesk_ui
