// Dialog unit conversion and the screen check of a stored window rectangle.
#include "ui/common/dialog_geometry.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace fdc::ui {

namespace {

// a * b / c rounded to nearest, halves away from zero.
int MulDiv(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = c / 2;
  const std::int64_t rounded = product >= 0 ? (product + half) / c : (product - half) / c;
  return static_cast<int>(rounded);
}

std::int64_t OverlapArea(const ScreenRect& a, const ScreenRect& b) {
  const std::int64_t width =
      std::int64_t{std::min(a.right, b.right)} - std::int64_t{std::max(a.left, b.left)};
  const std::int64_t height =
      std::int64_t{std::min(a.bottom, b.bottom)} - std::int64_t{std::max(a.top, b.top)};
  return width > 0 && height > 0 ? width * height : 0;
}

// The length of the span [from, to) cut to the screen's [low, high); an empty or inverted span
// (from settings edited by hand) has none, and the window then takes its smallest size.
int FitSize(int from, int to, int low, int high) {
  const std::int64_t size = std::int64_t{to} - from;
  const std::int64_t room = std::int64_t{high} - low;
  return static_cast<int>(std::clamp<std::int64_t>(size, 0, std::max<std::int64_t>(room, 0)));
}

// The edge that puts a span of `size` (at most the screen's) within [low, high).
int FitEdge(int edge, int size, int low, int high) {
  return std::clamp(edge, low, std::max(low, high - size));
}

}  // namespace

DialogBaseUnits BaseUnitsFrom(int alphabetWidth, int fontHeight) {
  return DialogBaseUnits{(alphabetWidth / 26 + 1) / 2, fontHeight};
}

PixelRect DialogUnitsToPixels(int x, int y, int width, int height, DialogBaseUnits base) {
  return PixelRect{MulDiv(x, base.x, 4), MulDiv(y, base.y, 8), MulDiv(width, base.x, 4),
                   MulDiv(height, base.y, 8)};
}

ScreenRect KeepWithinScreens(const ScreenRect& stored, const std::vector<ScreenRect>& screens) {
  if (screens.empty()) return stored;
  // An empty or inverted rectangle is judged by its top-left corner.
  ScreenRect probe = stored;
  probe.right = std::max(stored.right, stored.left + (stored.left < INT_MAX ? 1 : 0));
  probe.bottom = std::max(stored.bottom, stored.top + (stored.top < INT_MAX ? 1 : 0));
  const ScreenRect* target = nullptr;
  std::int64_t targetArea = 0;
  for (const ScreenRect& screen : screens) {
    const std::int64_t area = OverlapArea(probe, screen);
    if (area > targetArea) {
      target = &screen;
      targetArea = area;
    }
  }
  const ScreenRect& screen = target != nullptr ? *target : screens.front();
  const int width = FitSize(stored.left, stored.right, screen.left, screen.right);
  const int height = FitSize(stored.top, stored.bottom, screen.top, screen.bottom);
  const int left =
      target != nullptr ? FitEdge(stored.left, width, screen.left, screen.right) : screen.left;
  const int top =
      target != nullptr ? FitEdge(stored.top, height, screen.top, screen.bottom) : screen.top;
  return ScreenRect{left, top, left + width, top + height};
}

ScreenRect FirstStartRect(const ScreenRect& available) {
  const int width = available.right - available.left;
  const int height = available.bottom - available.top;
  const int w = width * 4 / 5;
  const int h = height * 4 / 5;
  const int left = available.left + (width - w) / 2;
  const int top = available.top + (height - h) / 2;
  return {left, top, left + w, top + h};
}

}  // namespace fdc::ui
