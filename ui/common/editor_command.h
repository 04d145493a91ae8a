// The command line with which StartEditor opens a file in the user's editor.
#pragma once

#include <string>
#include <vector>

namespace fdc::ui {

struct EditorCommand {
  std::string program;                 // the editor path itself, unquoted
  std::vector<std::string> arguments;  // POSIX: the file path as one argument
  std::string nativeArguments;         // Windows: the quoted file path, after the quoted program
};

// On Windows the editor receives the quoted editor path and the quoted file path joined by a
// blank. On POSIX no shell is involved, so the file path goes as one argument without quote
// characters; a relative path is made absolute first so that no editor takes a name beginning
// with '-' for an option. `currentDir` is the folder relative paths are taken from.
EditorCommand EditorCommandFor(const std::string& editorPath, const std::string& filePath,
                               const std::string& currentDir);

}  // namespace fdc::ui
