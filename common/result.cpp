// Bounded formatting of failure messages.
#include "common/result.h"

#include <cstdarg>
#include <cstdio>

namespace fdc {

Result Fail(const char* format, ...) {
  char text[kErrorTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return Result::Error(text);
}

}  // namespace fdc
