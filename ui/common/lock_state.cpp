// The lock keys' state read through the X keyboard extension of the display the program uses.
#include <QtGui/qguiapplication_platform.h>

#include <QGuiApplication>

#include "ui/common/platform.h"

#if defined(FDC_HAVE_XKB)
// Kept after the Qt headers: Xlib defines macros (None, Bool, KeyPress) that Qt's names share.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace fdc::ui {

#if defined(FDC_HAVE_XKB)

namespace {

Display* X11Display() {
  if (qGuiApp == nullptr) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->display() : nullptr;
}

const char* IndicatorAtomName(LockKey key) {
  switch (key) {
    case LockKey::kCaps:
      return "Caps Lock";
    case LockKey::kNum:
      return "Num Lock";
    case LockKey::kScroll:
      return "Scroll Lock";
  }
  return "";
}

}  // namespace

bool CanReadLockStates() {
  Display* display = X11Display();
  if (display == nullptr) return false;
  int opcode = 0;
  int event = 0;
  int error = 0;
  int major = XkbMajorVersion;
  int minor = XkbMinorVersion;
  return XkbQueryExtension(display, &opcode, &event, &error, &major, &minor) != 0;
}

std::optional<bool> ReadLockState(LockKey key) {
  Display* display = X11Display();
  if (display == nullptr) return std::nullopt;
  const Atom indicator = XInternAtom(display, IndicatorAtomName(key), True);
  if (indicator == 0) return std::nullopt;
  int on = 0;
  if (!XkbGetNamedIndicator(display, indicator, nullptr, &on, nullptr, nullptr)) {
    return std::nullopt;
  }
  return on != 0;
}

#else

bool CanReadLockStates() { return false; }
std::optional<bool> ReadLockState(LockKey) { return std::nullopt; }

#endif

}  // namespace fdc::ui
