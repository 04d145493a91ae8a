// The text dump dialog's values, the table that exchanges them with the controls (in the order
// that decides which faulty field is reported first), and the request that Execute builds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/dump_run.h"
#include "ui/common/option_description.h"

namespace fdc::ui {

// The dialog's control identifiers, which its widgets carry as object names.
enum ControlId : int {
  kIdAccept = 1,  // the button captioned "Cancel"
  kIdExecute = 3,
  kIdFileName = 1024,
  kIdOptionFile = 1025,
  kIdEditOptionFile = 1026,
  kIdBrowseCaptureFile = 1027,
  kIdBrowseOptionFile = 1028,
  kIdEditorPath = 1029,
  kIdBrowseEditor = 1030,
  kIdArgName0 = 1031,
  kIdArgName1 = 1032,
  kIdArgName2 = 1033,
  kIdStartRef = 1034,
  kIdEndRef = 1035,
  kIdNumMin = 1036,
  kIdArgValue0 = 1037,
  kIdArgValue1 = 1038,
  kIdArgValue2 = 1039,
  kIdArgValue3 = 1040,
  kIdAutoEdit = 1041,
  kIdEditorPathLabel = 1042,
  kIdArgName3 = 1043,
  kIdDescription = 1044,
  kIdPanelGroup = 1045,
};

inline constexpr std::array<int, 4> kArgNameIds = {kIdArgName0, kIdArgName1, kIdArgName2,
                                                   kIdArgName3};
inline constexpr std::array<int, 4> kArgValueIds = {kIdArgValue0, kIdArgValue1, kIdArgValue2,
                                                    kIdArgValue3};

inline constexpr std::size_t kPathChars = 256;
inline constexpr std::size_t kArgValueChars = 20;

struct TextDumpValues {
  std::string FileName;
  std::string OptionFile;
  std::uint32_t EndRef = 0;
  std::uint32_t NumMin = 1;
  std::uint32_t StartRef = 0;
  bool AutoEdit = false;
  std::string EditorPath;
  std::array<std::string, 4> ArgValue;
  std::array<std::string, 4> ArgName = {kNoArgName, kNoArgName, kNoArgName, kNoArgName};
  std::string Description = kNoDescription;
};

// What the exchange needs of the dialog's controls; the widgets implement it, tests fake it.
class ControlAccess {
 public:
  virtual ~ControlAccess() = default;
  virtual std::string Text(int id) const = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  virtual bool Checked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  // The typing limit of an edit control; 0 means no limit of ours.
  virtual void SetTypingLimit(int id, std::size_t maxChars) = 0;
};

struct StoreOutcome {
  bool ok = true;
  int failedId = 0;     // the control whose check failed
  std::string message;  // the check's message
};

// Reads every control into its value in the table's order, checking each. At the first failing
// check it stops: the values before it keep what was read, the failing one and those after it
// keep their earlier contents.
StoreOutcome StoreFields(const ControlAccess& controls, TextDumpValues& values);

// Writes every value into its control and sets the typing limits.
void LoadFields(const TextDumpValues& values, ControlAccess& controls);

// The number of characters of a UTF-8 text, as an edit control counts them.
std::size_t CharCount(const std::string& text);

// What Execute does with the stored values: refuse the capture name, refuse the minute, refuse
// an output that would overwrite an input, or run.
struct ExecutePlan {
  enum class Step { kRun, kInvalidName, kInvalidMinute, kRefused };
  Step step = Step::kInvalidName;
  std::string message;  // for the refusals
  DumpRequest request;  // for kRun
};

// `argNamed` says which arguments the option file names; the others go as 0 whatever their
// fields hold, as their fields are disabled.
ExecutePlan PlanExecute(const TextDumpValues& values, const std::array<bool, 4>& argNamed);

// "<output path> Created".
std::string CreatedMessage(const std::string& outputPath);

// The line added to a message when the editor could not be started.
std::string EditorFailedLine(const std::string& editorPath);

}  // namespace fdc::ui
