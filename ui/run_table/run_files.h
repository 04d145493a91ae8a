// Opening a run in the main window: which consecutive minute files exist from the one the user
// named, the request that reads them, and the names the window shows for a run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_paths.h"
#include "engine/dump_request_rules.h"

namespace fdc::ui {

// The minute files of a run that can be opened from one capture file.
struct RunFiles {
  // Why the file starts no run: the capture name rules' messages, or the reader's message for a
  // file that is not there. Empty when it does.
  std::string message;
  std::uint32_t count = 0;  // consecutive minute files from the named one on, at most 1439
  std::string firstName;    // the first and last of them, without their folder
  std::string lastName;
  bool ok() const { return message.empty(); }
};

// Counts the minute files that exist from `captureFile` on, minute by minute (hour 23 or above
// goes on with hour 00), up to 1439; the count ends at the first one missing.
RunFiles FindRunFiles(const std::string& captureFile);

// The consecutive minute files just before `captureFile` (a valid name of a file that exists),
// minute by minute back as far as hour 00 minute 00, where the hour wraps: how many, and the
// first of them with its folder. None when the minute before is missing.
struct EarlierMinutes {
  std::uint32_t count = 0;
  std::string first;
};
EarlierMinutes FindEarlierMinutes(const std::string& captureFile);

// The request that reads `minutes` minute files from `captureFile` on: every record, no option
// file, no output.
DumpRequestPlan PlanRunRequest(const std::string& captureFile, std::uint32_t minutes);

// The first capture file of a request, as the user named it.
std::string FirstCaptureFile(const DumpRequest& request);
// The day of a file's last change in UTC, "YYYY-MM-DD" (a capture file's is the day it was
// written); empty when the file cannot be looked at.
std::string CaptureDateOf(const std::string& path);

// "Line11159.FdcCapt" for one minute, "Line11159.FdcCapt (3 minutes)" for three.
std::string RunTitle(const DumpRequest& request);

// A name that ends in ".FdcCapt", in any letter case: what a drop on the window may open.
bool HasCaptureExtension(std::string_view path);

}  // namespace fdc::ui
