// Minute files of a run, the request that opens them, and the run's title.
#include "ui/run_table/run_files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capture/capture_file_set.h"
#include "common/char_class.h"
#include "common/platform_io.h"

namespace fdc::ui {

namespace {

constexpr std::string_view kCaptureExtension = ".FdcCapt";

bool IsPlainFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

}  // namespace

RunFiles FindRunFiles(const std::string& captureFile) {
  RunFiles files;
  if (!IsValidCaptureName(captureFile)) {
    files.message = std::string(kInvalidCaptureNameMessage);
    return files;
  }
  std::uint32_t hour = CaptureStartHour(captureFile);
  std::uint32_t minute = CaptureStartMinute(captureFile);
  if (minute > 59) {
    files.message = std::string(kInvalidMinuteMessage);
    return files;
  }
  const std::string base = CaptureBaseOf(captureFile);
  const std::string extension = CaptureExtensionOf(captureFile);
  // The first file is looked for under the name as given, the others as the reader names them.
  if (!IsPlainFile(captureFile)) {
    files.message = "Unable to Open Input File " + captureFile;
    return files;
  }
  std::string name = captureFile;
  while (files.count < kMaxNumMin) {
    if (files.count > 0 && !IsPlainFile(name)) break;
    if (files.count == 0) files.firstName = std::string(FileNameOf(name));
    files.lastName = std::string(FileNameOf(name));
    ++files.count;
    AdvanceMinute(hour, minute);
    name = CaptureFileName(base, hour, minute, extension);
  }
  return files;
}

DumpRequestPlan PlanRunRequest(const std::string& captureFile, std::uint32_t minutes) {
  DumpRequestInput input;
  input.captureFile = captureFile;
  input.numMin = std::to_string(minutes);
  return PlanDumpRequest(input);
}

EarlierMinutes FindEarlierMinutes(const std::string& captureFile) {
  EarlierMinutes earlier;
  if (!IsValidCaptureName(captureFile)) return earlier;
  std::uint32_t hour = CaptureStartHour(captureFile);
  std::uint32_t minute = CaptureStartMinute(captureFile);
  const std::string base = CaptureBaseOf(captureFile);
  const std::string extension = CaptureExtensionOf(captureFile);
  while (earlier.count + 1 < kMaxNumMin && (hour > 0 || minute > 0) && minute <= 59) {
    if (minute > 0) {
      --minute;
    } else {
      --hour;
      minute = 59;
    }
    const std::string name = CaptureFileName(base, hour, minute, extension);
    if (!IsPlainFile(name)) break;
    ++earlier.count;
    earlier.first = name;
  }
  return earlier;
}

std::string FirstCaptureFile(const DumpRequest& request) { return request.Run.FirstName(); }

std::string CaptureDateOf(const std::string& path) {
  std::error_code error;
  const auto changed = std::filesystem::last_write_time(SystemPath(PathFromUtf8(path)), error);
  if (error) return {};
  const auto day = std::chrono::floor<std::chrono::days>(std::chrono::file_clock::to_sys(changed));
  const std::chrono::year_month_day date(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

std::string RunTitle(const DumpRequest& request) {
  std::string title(FileNameOf(FirstCaptureFile(request)));
  if (request.Run.count > 1) title += " (" + std::to_string(request.Run.count) + " minutes)";
  return title;
}

bool HasCaptureExtension(std::string_view path) {
  return path.size() >= kCaptureExtension.size() &&
         EqualNoCase(path.substr(path.size() - kCaptureExtension.size()), kCaptureExtension);
}

}  // namespace fdc::ui
