// The editor's command line on each platform.
#include "ui/common/editor_command.h"

namespace fdc::ui {

EditorCommand EditorCommandFor(const std::string& editorPath, const std::string& filePath,
                               const std::string& currentDir) {
  EditorCommand command;
  command.program = editorPath;
#if defined(_WIN32)
  (void)currentDir;
  command.nativeArguments = "\"" + filePath + "\"";
#else
  if (!filePath.empty() && filePath.front() != '/' && !currentDir.empty()) {
    command.arguments.push_back(currentDir + (currentDir.back() == '/' ? "" : "/") + filePath);
  } else {
    command.arguments.push_back(filePath);
  }
#endif
  return command;
}

}  // namespace fdc::ui
