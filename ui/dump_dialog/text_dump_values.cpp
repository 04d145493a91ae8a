// The text dump dialog's field table, its store and load, and Execute's request.
#include "ui/dump_dialog/text_dump_values.h"

#include <optional>

#include "engine/dump_request_rules.h"

namespace fdc::ui {

namespace {

enum class FieldKind { kText, kNumber, kFlag };

struct FieldRow {
  int id;
  FieldKind kind;
  std::size_t maxChars;  // texts: 0 for no limit
  std::uint32_t min;     // numbers: the range, when max is not 0
  std::uint32_t max;
  std::string& (*text)(TextDumpValues&);
  std::uint32_t& (*number)(TextDumpValues&);
};

template <int N>
std::string& ArgValueOf(TextDumpValues& v) {
  return v.ArgValue[N];
}
template <int N>
std::string& ArgNameOf(TextDumpValues& v) {
  return v.ArgName[N];
}

// The exchange order; a store reports the first failing row.
const FieldRow kFieldTable[] = {
    {kIdFileName, FieldKind::kText, kPathChars, 0, 0,
     [](TextDumpValues& v) -> std::string& { return v.FileName; }, nullptr},
    {kIdOptionFile, FieldKind::kText, kPathChars, 0, 0,
     [](TextDumpValues& v) -> std::string& { return v.OptionFile; }, nullptr},
    {kIdEndRef, FieldKind::kNumber, 0, 0, 0, nullptr,
     [](TextDumpValues& v) -> std::uint32_t& { return v.EndRef; }},
    {kIdNumMin, FieldKind::kNumber, 0, 1, kMaxNumMin, nullptr,
     [](TextDumpValues& v) -> std::uint32_t& { return v.NumMin; }},
    {kIdStartRef, FieldKind::kNumber, 0, 0, 0, nullptr,
     [](TextDumpValues& v) -> std::uint32_t& { return v.StartRef; }},
    {kIdAutoEdit, FieldKind::kFlag, 0, 0, 0, nullptr, nullptr},
    {kIdEditorPath, FieldKind::kText, 0, 0, 0,
     [](TextDumpValues& v) -> std::string& { return v.EditorPath; }, nullptr},
    {kIdArgValue0, FieldKind::kText, kArgValueChars, 0, 0, &ArgValueOf<0>, nullptr},
    {kIdArgValue1, FieldKind::kText, kArgValueChars, 0, 0, &ArgValueOf<1>, nullptr},
    {kIdArgValue2, FieldKind::kText, kArgValueChars, 0, 0, &ArgValueOf<2>, nullptr},
    {kIdArgValue3, FieldKind::kText, kArgValueChars, 0, 0, &ArgValueOf<3>, nullptr},
    {kIdArgName0, FieldKind::kText, 0, 0, 0, &ArgNameOf<0>, nullptr},
    {kIdArgName1, FieldKind::kText, 0, 0, 0, &ArgNameOf<1>, nullptr},
    {kIdArgName2, FieldKind::kText, 0, 0, 0, &ArgNameOf<2>, nullptr},
    {kIdArgName3, FieldKind::kText, 0, 0, 0, &ArgNameOf<3>, nullptr},
    {kIdDescription, FieldKind::kText, 0, 0, 0,
     [](TextDumpValues& v) -> std::string& { return v.Description; }, nullptr},
};

StoreOutcome Failure(int id, std::string message) {
  return StoreOutcome{false, id, std::move(message)};
}

std::string TooLongMessage(std::size_t maxChars) {
  return "Please enter no more than " + std::to_string(maxChars) + " characters.";
}

std::string RangeMessage(std::uint32_t min, std::uint32_t max) {
  return "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) +
         ".";
}

}  // namespace

std::size_t CharCount(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

StoreOutcome StoreFields(const ControlAccess& controls, TextDumpValues& values) {
  for (const FieldRow& row : kFieldTable) {
    switch (row.kind) {
      case FieldKind::kText: {
        std::string text = controls.Text(row.id);
        if (row.maxChars != 0 && CharCount(text) > row.maxChars) {
          return Failure(row.id, TooLongMessage(row.maxChars));
        }
        row.text(values) = std::move(text);
        break;
      }
      case FieldKind::kNumber: {
        std::uint32_t number = 0;
        const NumberScan scan = ScanUnsigned(controls.Text(row.id), number);
        // A number beyond 32 bits is refused: by NumMin as out of its range, by the reference
        // numbers as not a positive integer.
        const bool ranged = row.max != 0;
        if (scan == NumberScan::kUnreadable || (scan == NumberScan::kTooLarge && !ranged)) {
          return Failure(row.id, std::string(kPositiveIntegerMessage));
        }
        if (ranged && (scan == NumberScan::kTooLarge || number < row.min || number > row.max)) {
          return Failure(row.id, RangeMessage(row.min, row.max));
        }
        row.number(values) = number;
        break;
      }
      case FieldKind::kFlag:
        values.AutoEdit = controls.Checked(row.id);
        break;
    }
  }
  return StoreOutcome{};
}

void LoadFields(const TextDumpValues& source, ControlAccess& controls) {
  TextDumpValues values = source;
  for (const FieldRow& row : kFieldTable) {
    switch (row.kind) {
      case FieldKind::kText: {
        const std::string& text = row.text(values);
        // A text longer than its limit (a path from the settings, say) is shown whole, so that
        // the next store reports it instead of the control cutting it silently.
        const bool fits = row.maxChars == 0 || CharCount(text) <= row.maxChars;
        controls.SetTypingLimit(row.id, fits ? row.maxChars : 0);
        controls.SetText(row.id, text);
        break;
      }
      case FieldKind::kNumber:
        controls.SetText(row.id, std::to_string(row.number(values)));
        break;
      case FieldKind::kFlag:
        controls.SetChecked(row.id, values.AutoEdit);
        break;
    }
  }
}

ExecutePlan PlanExecute(const TextDumpValues& values, const std::array<bool, 4>& argNamed) {
  DumpRequestInput input;
  input.captureFile = values.FileName;
  input.optionFile = values.OptionFile;
  input.endRef = std::to_string(values.EndRef);
  input.numMin = std::to_string(values.NumMin);
  input.startRef = std::to_string(values.StartRef);
  for (std::size_t i = 0; i < input.args.size(); ++i) {
    if (argNamed[i]) input.args[i] = values.ArgValue[i];
  }
  DumpRequestPlan planned = PlanDumpRequest(input);
  ExecutePlan plan;
  plan.message = std::move(planned.message);
  plan.request = std::move(planned.request);
  switch (planned.refused) {
    case RequestField::kNone:
      plan.step = ExecutePlan::Step::kRun;
      break;
    case RequestField::kCaptureFile:
      plan.step = plan.message == kInvalidMinuteMessage ? ExecutePlan::Step::kInvalidMinute
                                                        : ExecutePlan::Step::kInvalidName;
      break;
    default:
      plan.step = ExecutePlan::Step::kRefused;
      break;
  }
  return plan;
}

std::string CreatedMessage(const std::string& outputPath) { return outputPath + " Created"; }

std::string EditorFailedLine(const std::string& editorPath) {
  if (editorPath.empty()) return "The editor could not be started: no Editor Path is set.";
  return "The editor could not be started: " + editorPath;
}

}  // namespace fdc::ui
