// The ShowOnly filter language: the compiler that turns an equation of the option file into a
// postfix program, and the stack machine that runs that program for each record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/capture_format.h"
#include "capture/frame_fields.h"
#include "common/result.h"
#include "common/text_reader.h"

namespace fdc {

// A field or part of the frame that the frame does not have reads as this value: it lies
// outside every byte and 16-bit word value, so it is unequal to every such constant.
inline constexpr std::int32_t AbsentValue = 65536;

struct ShowOnlyProgram {
  static constexpr std::size_t kMaxTextLength = 4096;
  // A translated equation takes at most 1.5 code words per character (a one-digit number and an
  // operator: three words for two characters), and the longest equation translates to at most
  // 8192 characters, so this is room for every equation that can be collected.
  static constexpr std::size_t kCodeWords = 16384;

  std::string text;                             // the equation as collected
  std::array<std::int32_t, kCodeWords> code{};  // postfix code, ended by the first 0 word

  bool Empty() const { return code[0] == 0; }
  void Clear() {
    text.clear();
    code.fill(0);
  }
};

// Where a compile error lies in the equation as collected (for an equation of one line: as
// typed, up to a ";" comment or the "#"): the characters to underline. The message quotes the
// translated text, where identifiers have become numbers, so only this tells the user's own
// characters. Errors about the equation as a whole (too long, no end marker) have no place.
struct ShowOnlyErrorPlace {
  bool placed = false;
  std::size_t start = 0;
  std::size_t length = 0;
};

// Reads the equation from `file` (positioned on the line after the "ShowOnly" line) up to the
// "#" that ends it, and compiles it into `program`. On success `file` stands just after the "#";
// on failure `place` tells where the error lies.
Result CompileShowOnly(TextReader& file, ShowOnlyProgram& program);
Result CompileShowOnly(TextReader& file, ShowOnlyProgram& program, ShowOnlyErrorPlace& place);

// CompileShowOnly over text in memory instead of an option file: `source` is read as the file
// would be, from the line after "ShowOnly" on.
Result CompileShowOnlyText(std::string_view source, ShowOnlyProgram& program);
Result CompileShowOnlyText(std::string_view source, ShowOnlyProgram& program,
                           ShowOnlyErrorPlace& place);

// Makes `program` pass only the records that it and `other` both pass: their code one after the
// other and AND after both, the text "(program) && other". An empty program passes every record,
// so joined with one it gives the other. Fails with "Equation Too Long", leaving `program` as it
// was, when the code of both does not fit one program.
Result JoinShowOnlyAnd(ShowOnlyProgram& program, const ShowOnlyProgram& other);

// Runs the program for one record. `record` holds the frame bytes followed by the status byte;
// `fields` are the positions found in it; `gapMicroseconds` is the idle gap before the frame.
// An empty program lets every record through (returns 1).
std::int32_t EvaluateShowOnly(const ShowOnlyProgram& program, const FrameFields& fields,
                              ByteView record, std::int32_t gapMicroseconds,
                              const std::array<std::int32_t, 4>& cmdArgs);

}  // namespace fdc
