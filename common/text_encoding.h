// Text between encodings: Latin-1 (capture file headers, GSD files) to UTF-8 (every output), and
// the check for well-formed UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace fdc {

// Each byte of `text` taken as a Latin-1 (ISO-8859-1) character.
std::string Latin1ToUtf8(std::string_view text);

// Well-formed UTF-8: no stray continuation byte, no sequence cut short, no longer form than
// needed, no surrogate, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);

// A file name for a UTF-8 text: as it is when it is UTF-8 (as names are on most systems
// today), otherwise each byte taken as a Latin-1 character.
std::string FileNameToUtf8(std::string_view name);

}  // namespace fdc
