// The rules that turn the dialog's (or the command line's) texts into a DumpRequest: the capture
// file name check, the output file name, the start hour and minute, and the number readers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dump_run.h"

namespace fdc {

inline constexpr std::string_view kInvalidCaptureNameMessage =
    "Invalid Capture File Name\n"
    "It must be in the following form:\n"
    "<name>HHMM.FdcCapt\n"
    "Note:\n"
    "<name> is the user defined portion of the name\n"
    "HH is the hour   the file was created\n"
    "MM is the minute the file was created";
inline constexpr std::string_view kInvalidMinuteMessage =
    "Invalid Capture File Name Minute (00-59)\n";
inline constexpr std::string_view kPositiveIntegerMessage = "Please enter a positive integer.";
inline constexpr std::string_view kNumMinRangeMessage =
    "Please enter an integer between 1 and 1439.";
inline constexpr std::uint32_t kMaxNumMin = 1439;

// At least 12 characters, ending in four digits and ".FdcCapt" (any letter case).
bool IsValidCaptureName(std::string_view fileName);
// The file name less "HHMM.FdcCapt". Needs a valid name.
std::string CaptureBaseOf(std::string_view fileName);
// The last 8 characters of a valid name: ".FdcCapt" as the name spells it.
std::string CaptureExtensionOf(std::string_view fileName);
// HH and MM of a valid name (HH may be up to 99; MM is not checked here).
std::uint32_t CaptureStartHour(std::string_view fileName);
std::uint32_t CaptureStartMinute(std::string_view fileName);
// The text between the last '.' of the option path and the nearest folder separator ('\' or '/')
// before it.
std::string OptionBaseName(std::string_view optionFile);
// The capture name less ".FdcCapt", "_", the option base name, ".txt". Needs a valid name.
std::string OutputPathFor(std::string_view fileName, std::string_view optionFile);

// Reads a number as "%lu" reads it from the first 63 characters: leading white space, an optional
// sign (a minus wraps), digits up to the first other character. Empty when no digit can be read,
// and when the digits exceed 4294967295 (rather than keeping their low 32 bits).
std::optional<std::uint32_t> ScanUnsigned(std::string_view text);
// The same, telling an unreadable text from a number beyond 32 bits (which NumMin reports as out
// of its range).
enum class NumberScan { kRead, kUnreadable, kTooLarge };
NumberScan ScanUnsigned(std::string_view text, std::uint32_t& value);

// An argument text: hexadecimal after a leading "0x" or "0X", otherwise signed decimal; leading
// blanks skipped, reading stops at the first character that is not part of the number; 0 when no
// digit can be read. Values beyond 32 bits keep their low 32 bits.
std::int32_t ParseArgValue(std::string_view text);

// What the user typed for a dump, a statistics run or an export: the texts of the dialog's fields
// or of the command line's arguments.
struct DumpRequestInput {
  std::string captureFile;
  std::string optionFile;
  std::string endRef = "0";
  std::string numMin = "1";
  std::string startRef = "0";
  std::array<std::string, 4> args;  // empty for an argument that is not given
  // The output path; empty: the output-name rule with `outputExtension`.
  std::string outputPath;
  std::string outputExtension = ".txt";
  // The output goes to a stream the caller holds (the standard output): the request's OutputPath
  // stays empty and nothing is checked.
  bool outputToStream = false;
};

// The input that a refusal concerns.
enum class RequestField { kNone, kEndRef, kNumMin, kStartRef, kCaptureFile, kOutput };

struct DumpRequestPlan {
  RequestField refused = RequestField::kNone;
  std::string message;  // the refusal's message, as the dialog shows it
  DumpRequest request;  // complete when nothing was refused
  bool ok() const { return refused == RequestField::kNone; }
};

// Builds the request with the dialog's checks in the dialog's order and its messages: EndRef,
// NumMin, StartRef, the capture name, the minute; then the output, which must not reach the
// option file or any file of the run by any path (whether or not the file exists yet), nor be
// links that make a loop ("Unable to Open Output File").
DumpRequestPlan PlanDumpRequest(const DumpRequestInput& input);

// The option file or capture file of the run that writing `outputPath` would reach, if any:
// paths compared once their links are followed (a dangling link to a minute file not written yet
// too), letter case ignored where the file system ignores it, and files that exist by identity
// (a hard link).
std::optional<std::string> InputNamedBy(const DumpRequest& request, const std::string& outputPath);

}  // namespace fdc
