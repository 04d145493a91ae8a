// Dialog geometry: dialog units (quarters of the average character width, eighths of its height)
// turned into pixels with the real font's metrics, and a stored window rectangle kept within reach
// of the screens.
#pragma once

#include <vector>

namespace fdc::ui {

struct DialogBaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

// The base units from the width of the 52 letters "A".."Z", "a".."z" and the font height, with
// the rounding that dialog units have always had.
DialogBaseUnits BaseUnitsFrom(int alphabetWidth, int fontHeight);

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A horizontal unit is a quarter of the average character width, a vertical one an eighth of
// the height; each of x, y, width and height is converted on its own, rounded to nearest.
PixelRect DialogUnitsToPixels(int x, int y, int width, int height, DialogBaseUnits base);

// Left, top, right and bottom, right and bottom exclusive.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Brings a stored window rectangle onto the screens. One that overlaps none of them (a monitor
// since removed, say) goes to the first screen's top-left corner. One that overlaps a screen is
// fitted onto the screen it overlaps most: cut to that screen's size where it is larger, and moved
// just far enough to lie wholly on it, so that its title bar and edges stay within reach. An empty
// or inverted rectangle is judged by its top-left corner and comes back with no size.
ScreenRect KeepWithinScreens(const ScreenRect& stored, const std::vector<ScreenRect>& screens);

// The rectangle of a window that has none stored: 80 % of the screen's free area, centred on it.
ScreenRect FirstStartRect(const ScreenRect& available);

}  // namespace fdc::ui
