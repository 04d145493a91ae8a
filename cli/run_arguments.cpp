// Reading the shared arguments of the command-line programs, and planning their request.
#include "cli/run_arguments.h"

#include <algorithm>

namespace fdc {

namespace {

int Usage(const CommandSyntax& syntax, std::FILE* stream, int status) {
  std::fwrite(syntax.usage.data(), 1, syntax.usage.size(), stream);
  return status;
}

// Where the value of an option goes: a text field of the arguments, the list of --arg values or
// the output; kNone when the word names no option the program takes.
enum class SlotKind { kNone, kField, kArg, kOutput, kRepeated };
struct OptionSlot {
  SlotKind kind = SlotKind::kNone;
  std::string* field = nullptr;
  std::vector<std::string>* list = nullptr;
};

OptionSlot SlotOf(const CommandSyntax& syntax, const std::string& name, RunArguments& a) {
  if (name == "--minutes") return {SlotKind::kField, &a.minutes};
  if (name == "--output") return {SlotKind::kOutput};
  if (syntax.dumpOptions) {
    if (name == "--opt") return {SlotKind::kField, &a.optionFile};
    if (name == "--start-ref") return {SlotKind::kField, &a.startRef};
    if (name == "--end-ref") return {SlotKind::kField, &a.endRef};
    if (name == "--arg") return {SlotKind::kArg};
  }
  if (std::find(syntax.repeatable.begin(), syntax.repeatable.end(), name) !=
      syntax.repeatable.end()) {
    return {SlotKind::kRepeated, nullptr, &a.repeated[name]};
  }
  if (std::find(syntax.own.begin(), syntax.own.end(), name) != syntax.own.end())
    return {SlotKind::kField, &a.extra[name]};
  return {};
}

std::optional<int> Store(const OptionSlot& slot, const std::string& value, RunArguments& a,
                         std::FILE* err) {
  switch (slot.kind) {
    case SlotKind::kArg:
      if (a.args.size() == 4) return Refuse(err, "At most four --arg values");
      a.args.push_back(value);
      break;
    case SlotKind::kOutput:
      a.output = value;
      break;
    case SlotKind::kField:
      *slot.field = value;
      break;
    case SlotKind::kRepeated:
      slot.list->push_back(value);
      break;
    case SlotKind::kNone:
      break;
  }
  return std::nullopt;
}

}  // namespace

int Refuse(std::FILE* err, std::string_view message) {
  std::fprintf(err, "%.*s\n", static_cast<int>(message.size()), message.data());
  return kExitUsage;
}

int FinishRun(const Result& result, bool talk, const std::string& outputPath, std::FILE* out,
              std::FILE* err) {
  if (!result.ok()) {
    std::fprintf(err, "%s\n", result.ErrorText().c_str());
    return kExitDumpFailed;
  }
  if (talk) std::fprintf(out, "%s Created\n", outputPath.c_str());
  return kExitOk;
}

std::optional<int> ReadRunArguments(const CommandSyntax& syntax,
                                    const std::vector<std::string>& argv, RunArguments& a,
                                    std::FILE* out, std::FILE* err) {
  const std::string program(syntax.program);
  const auto takeCaptureFile = [&](const std::string& word) -> std::optional<int> {
    if (a.captureFile) {
      std::fprintf(err, "%s: more than one capture file given\n", program.c_str());
      return Usage(syntax, err, kExitUsage);
    }
    a.captureFile = word;
    return std::nullopt;
  };
  bool optionsEnded = false;  // after "--" every word is a file name, even one that starts with -
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if (optionsEnded) {
      if (const std::optional<int> done = takeCaptureFile(word)) return *done;
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") return Usage(syntax, out, kExitOk);
    if (syntax.dumpOptions && (word == "--quiet" || word == "-q")) {
      a.quiet = true;
      continue;
    }
    // Options take their value from the next word or after "=".
    std::string name = word;
    std::optional<std::string> value;
    if (word.rfind("--", 0) == 0 && word.find('=') != std::string::npos) {
      name = word.substr(0, word.find('='));
      value = word.substr(word.find('=') + 1);
    }
    const OptionSlot slot = SlotOf(syntax, name, a);
    if (slot.kind == SlotKind::kNone) {
      if (word.size() > 1 && word[0] == '-') {
        std::fprintf(err, "%s: unknown option '%s'\n", program.c_str(), word.c_str());
        return Usage(syntax, err, kExitUsage);
      }
      if (const std::optional<int> done = takeCaptureFile(word)) return *done;
      continue;
    }
    if (!value) {
      if (i + 1 >= argv.size()) {
        std::fprintf(err, "%s: %s needs a value\n", program.c_str(), name.c_str());
        return Usage(syntax, err, kExitUsage);
      }
      value = argv[++i];
    }
    if (const std::optional<int> done = Store(slot, *value, a, err)) return *done;
  }
  if (!a.captureFile) {
    std::fprintf(err, "%s: no capture file given\n", program.c_str());
    return Usage(syntax, err, kExitUsage);
  }
  return std::nullopt;
}

std::optional<int> PlanRequest(const CommandSyntax& syntax, const RunArguments& a,
                               std::string_view outputExtension, DumpRequest& request,
                               std::FILE* err) {
  // The dialog's checks, in the order in which it stores its fields.
  DumpRequestInput input;
  input.captureFile = *a.captureFile;
  input.optionFile = a.optionFile;
  input.endRef = a.endRef;
  input.numMin = a.minutes;
  input.startRef = a.startRef;
  for (std::size_t i = 0; i < a.args.size(); ++i) input.args[i] = a.args[i];
  if (a.output) input.outputPath = *a.output;
  input.outputToStream = a.output == "-";  // the standard output names no file of the run
  input.outputExtension = std::string(outputExtension);
  const DumpRequestPlan plan = PlanDumpRequest(input);
  if (!plan.ok()) {
    std::string_view message = plan.message;
    if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    if (plan.refused == RequestField::kOutput)
      std::fprintf(err, "%.*s: ", static_cast<int>(syntax.program.size()), syntax.program.data());
    return Refuse(err, message);
  }
  request = plan.request;
  return std::nullopt;
}

}  // namespace fdc
