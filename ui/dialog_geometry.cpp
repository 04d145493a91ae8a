// Dialog unit conversion and the screen check of a stored window rectangle.
#include "ui/dialog_geometry.h"

#include <algorithm>
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

bool Overlaps(const ScreenRect& a, const ScreenRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
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
  probe.right = std::max(stored.right, stored.left + 1);
  probe.bottom = std::max(stored.bottom, stored.top + 1);
  for (const ScreenRect& screen : screens) {
    if (Overlaps(probe, screen)) return stored;
  }
  const ScreenRect& first = screens.front();
  const int width = std::min(stored.right - stored.left, first.right - first.left);
  const int height = std::min(stored.bottom - stored.top, first.bottom - first.top);
  return ScreenRect{first.left, first.top, first.left + width, first.top + height};
}

}  // namespace fdc::ui
