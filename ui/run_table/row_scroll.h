// RowScroll: the rows of a run on a scroll bar of our own. A view counts its rows in an int and
// keeps some bytes for each, so the record table's model shows a window of the run; the bar beside
// it stands for the whole run: its value is the top row shown, scaled down when the run has more
// rows than the bar has steps, and both ends are the run's ends.
#pragma once

#include <algorithm>
#include <cstdint>

namespace fdc::ui {

class RowScroll {
 public:
  static constexpr std::uint64_t kMaxSteps = std::uint64_t{1} << 30;

  // A run of `totalRows` rows, of which `pageRows` show at once.
  RowScroll(std::uint64_t totalRows, std::uint64_t pageRows)
      : last_(totalRows > pageRows ? totalRows - pageRows : 0),
        steps_(std::min(last_, kMaxSteps)),
        page_(pageRows) {}

  // The bar's range is 0 .. Maximum().
  int Maximum() const { return static_cast<int>(steps_); }
  // The bar's page step: the rows of a page in steps, at least one.
  int PageStep() const {
    if (last_ == 0)
      return static_cast<int>(
          std::min<std::uint64_t>(std::max<std::uint64_t>(page_, 1), kMaxSteps));
    return static_cast<int>(std::clamp<std::uint64_t>(Scaled(page_, steps_, last_), 1, kMaxSteps));
  }
  // The top row at a value of the bar.
  std::uint64_t TopRowAt(int value) const {
    if (steps_ == 0 || value <= 0) return 0;
    const auto v = std::min<std::uint64_t>(static_cast<std::uint64_t>(value), steps_);
    return ScaledUp(v, last_, steps_);
  }
  // The bar's value for a top row (the last one for a row past the last top row).
  int ValueOf(std::uint64_t topRow) const {
    if (last_ == 0) return 0;
    return static_cast<int>(Scaled(std::min(topRow, last_), steps_, last_));
  }

 private:
  // a · b / c without overflow, rounded down (a ≤ c or b ≤ c, so the result fits).
  static std::uint64_t Scaled(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(a) * b / c);
  }
  // The same rounded up: a row read back gives the value it came from.
  static std::uint64_t ScaledUp(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(a) * b + c - 1) / c);
  }
  std::uint64_t last_;   // the last top row: the run's last page begins there
  std::uint64_t steps_;  // the bar's maximum
  std::uint64_t page_;
};

}  // namespace fdc::ui
