// The lock indicators' display rules.
#include "ui/common/key_locks.h"

namespace fdc::ui {

std::string IndicatorName(LockKey key) {
  switch (key) {
    case LockKey::kCaps:
      return "CAP";
    case LockKey::kNum:
      return "NUM";
    case LockKey::kScroll:
      return "SCRL";
  }
  return std::string();
}

IndicatorDisplay IndicatorFor(LockKey key, std::optional<bool> locked) {
  if (!locked) return IndicatorDisplay{IndicatorName(key), false};
  return IndicatorDisplay{*locked ? IndicatorName(key) : std::string(), true};
}

}  // namespace fdc::ui
