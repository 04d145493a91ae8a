// What the status bar's "CAP", "NUM" and "SCRL" indicators show for a lock key's state.
#pragma once

#include <optional>
#include <string>

namespace fdc::ui {

enum class LockKey { kCaps, kNum, kScroll };

struct IndicatorDisplay {
  std::string text;  // empty: a blank pane of the indicator's width
  bool enabled = true;
};

// The indicator's own name: "CAP", "NUM" or "SCRL".
std::string IndicatorName(LockKey key);

// A lock that is on shows its name; one that is off leaves its pane blank. When the state
// cannot be read at all the name stays, disabled, so that an unknown state is never shown as
// "off".
IndicatorDisplay IndicatorFor(LockKey key, std::optional<bool> locked);

}  // namespace fdc::ui
