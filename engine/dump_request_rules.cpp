// Capture and output file names, start time, and the number readers of the dump dialog.
#include "engine/dump_request_rules.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "capture/capture_file_set.h"
#include "common/char_class.h"
#include "common/file_paths.h"
#include "common/platform_io.h"

namespace fdc {

namespace {

constexpr std::string_view kExtension = ".FdcCapt";
constexpr std::size_t kTimeAndExtension = 12;  // "HHMM.FdcCapt"

std::uint32_t TwoDigits(std::string_view text, std::size_t pos) {
  return static_cast<std::uint32_t>((text[pos] - '0') * 10 + (text[pos + 1] - '0'));
}

// Digits in the given base from text[pos] on, keeping the low 32 bits; count of digits taken.
// `overflow` tells whether the digits exceed 32 bits.
std::uint32_t ReadDigits(std::string_view text, std::size_t& pos, unsigned base, std::size_t& taken,
                         bool& overflow) {
  std::uint32_t value = 0;
  taken = 0;
  overflow = false;
  while (pos < text.size()) {
    const char c = ToLowerAscii(text[pos]);
    unsigned digit;
    if (IsDigit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    if (value > (0xFFFFFFFFu - digit) / base) overflow = true;
    value = value * base + digit;
    ++pos;
    ++taken;
  }
  return value;
}

// Leading white space, an optional sign, then digits; nullopt when no digit follows. Digits beyond
// 32 bits keep their low 32 bits unless `refuseOverflow`, which gives nullopt.
std::optional<std::uint32_t> ReadSigned(std::string_view text, unsigned base,
                                        bool refuseOverflow = false) {
  std::size_t pos = 0;
  while (pos < text.size() && IsCSpace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::size_t taken = 0;
  bool overflow = false;
  const std::uint32_t value = ReadDigits(text, pos, base, taken, overflow);
  if (taken == 0 || (overflow && refuseOverflow)) return std::nullopt;
  return negative ? 0u - value : value;
}

}  // namespace

bool IsValidCaptureName(std::string_view fileName) {
  if (fileName.size() < kTimeAndExtension) return false;
  const std::string_view extension = fileName.substr(fileName.size() - kExtension.size());
  if (!EqualNoCase(extension, kExtension)) return false;
  for (std::size_t i = fileName.size() - kTimeAndExtension; i < fileName.size() - 8; ++i) {
    if (!IsDigit(fileName[i])) return false;
  }
  return true;
}

std::string CaptureExtensionOf(std::string_view fileName) {
  return std::string(fileName.substr(fileName.size() - kExtension.size()));
}

std::string CaptureBaseOf(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.size() - kTimeAndExtension));
}

std::uint32_t CaptureStartHour(std::string_view fileName) {
  return TwoDigits(fileName, fileName.size() - 12);
}

std::uint32_t CaptureStartMinute(std::string_view fileName) {
  return TwoDigits(fileName, fileName.size() - 10);
}

std::string OptionBaseName(std::string_view optionFile) {
  const std::size_t dot = optionFile.rfind('.');
  if (dot == std::string_view::npos) return {};  // no '.' anywhere: an empty base name
  const std::size_t separator = optionFile.find_last_of("\\/", dot);
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  return std::string(optionFile.substr(start, dot - start));
}

std::string OutputPathFor(std::string_view fileName, std::string_view optionFile) {
  return std::string(fileName.substr(0, fileName.size() - kExtension.size())) + "_" +
         OptionBaseName(optionFile) + ".txt";
}

std::optional<std::uint32_t> ScanUnsigned(std::string_view text) {
  std::uint32_t value = 0;
  if (ScanUnsigned(text, value) != NumberScan::kRead) return std::nullopt;
  return value;
}

NumberScan ScanUnsigned(std::string_view text, std::uint32_t& value) {
  // "%lu" would keep the low 32 bits of a longer number, so that 4294967297 read as 1: a number
  // the user did not mean. It is refused instead.
  text = text.substr(0, std::min<std::size_t>(text.size(), 63));
  const std::optional<std::uint32_t> wrapped = ReadSigned(text, 10);
  if (!wrapped) return NumberScan::kUnreadable;
  if (!ReadSigned(text, 10, true)) return NumberScan::kTooLarge;
  value = *wrapped;
  return NumberScan::kRead;
}

std::int32_t ParseArgValue(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return static_cast<std::int32_t>(ReadSigned(text.substr(2), 16).value_or(0));
  }
  return static_cast<std::int32_t>(ReadSigned(text, 10).value_or(0));
}

namespace {

namespace fs = std::filesystem;

// A path as opening it would reach it; a link loop keeps the path as written, so that at least
// the same spelling is recognised.
fs::path Reached(const std::string& path) {
  const fs::path name = PathFromUtf8(path);
  if (std::optional<fs::path> resolved = ResolvedPath(name)) return *resolved;
  std::error_code ignored;
  return fs::absolute(name, ignored).lexically_normal();
}

// The output reaches `input`: the same place once links are followed (the input may not exist
// yet), or, for files that exist, the same file reached by another name (a hard link).
bool Reaches(const std::string& output, const fs::path& reached, const std::string& input) {
  if (input.empty()) return false;
  if (SamePlace(reached, Reached(input))) return true;
  std::error_code ignored;
  return fs::equivalent(SystemPath(PathFromUtf8(output)), SystemPath(PathFromUtf8(input)), ignored);
}

}  // namespace

std::optional<std::string> InputNamedBy(const DumpRequest& request, const std::string& outputPath) {
  if (outputPath.empty()) return std::nullopt;
  const fs::path reached = Reached(outputPath);
  if (Reaches(outputPath, reached, request.OptionPath)) return request.OptionPath;
  std::uint32_t hour = request.Run.hour;
  std::uint32_t minute = request.Run.minute;
  for (std::uint32_t i = 0; i < request.Run.count; ++i, AdvanceMinute(hour, minute)) {
    std::string name = CaptureFileName(request.Run.base, hour, minute, request.Run.extension);
    if (Reaches(outputPath, reached, name)) return name;
  }
  return std::nullopt;
}

DumpRequestPlan PlanDumpRequest(const DumpRequestInput& input) {
  DumpRequestPlan plan;
  auto refuse = [&plan](RequestField field, std::string_view message) {
    plan.refused = field;
    plan.message = std::string(message);
    return plan;
  };
  const std::optional<std::uint32_t> endRef = ScanUnsigned(input.endRef);
  if (!endRef) return refuse(RequestField::kEndRef, kPositiveIntegerMessage);
  std::uint32_t numMin = 0;
  const NumberScan numMinScan = ScanUnsigned(input.numMin, numMin);
  if (numMinScan == NumberScan::kUnreadable) {
    return refuse(RequestField::kNumMin, kPositiveIntegerMessage);
  }
  if (numMinScan == NumberScan::kTooLarge || numMin < 1 || numMin > kMaxNumMin) {
    return refuse(RequestField::kNumMin, kNumMinRangeMessage);
  }
  const std::optional<std::uint32_t> startRef = ScanUnsigned(input.startRef);
  if (!startRef) return refuse(RequestField::kStartRef, kPositiveIntegerMessage);

  const std::string& file = input.captureFile;
  if (!IsValidCaptureName(file))
    return refuse(RequestField::kCaptureFile, kInvalidCaptureNameMessage);
  const std::uint32_t minute = CaptureStartMinute(file);
  if (minute > 59) return refuse(RequestField::kCaptureFile, kInvalidMinuteMessage);

  DumpRequest& request = plan.request;
  request.Run.base = CaptureBaseOf(file);
  request.Run.extension = CaptureExtensionOf(file);
  request.OptionPath = input.optionFile;
  request.Run.hour = CaptureStartHour(file);
  request.Run.minute = minute;
  request.Run.count = numMin;
  request.StartRef = *startRef;
  request.EndRef = *endRef == 0 ? 0xFFFFFFFFu : *endRef;
  for (std::size_t i = 0; i < input.args.size(); ++i)
    request.CmdArgs[i] = ParseArgValue(input.args[i]);
  // A stream names no file: there is nothing to check.
  if (input.outputToStream) return plan;
  request.OutputPath = !input.outputPath.empty()
                           ? input.outputPath
                           : std::string(file.substr(0, file.size() - kExtension.size())) + "_" +
                                 OptionBaseName(input.optionFile) + input.outputExtension;
  // Links that make a loop lead to no file, so no input can be named; the output can't be opened.
  if (!ResolvedPath(PathFromUtf8(request.OutputPath))) {
    return refuse(RequestField::kOutput, "Unable to Open Output File " + request.OutputPath);
  }
  if (const std::optional<std::string> named = InputNamedBy(request, request.OutputPath)) {
    return refuse(RequestField::kOutput,
                  "The output file would overwrite the input file " + *named);
  }
  return plan;
}

}  // namespace fdc
