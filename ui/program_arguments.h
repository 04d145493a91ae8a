// What the desktop program makes of its command line: --help and --version, which print their
// text and end the program, and the capture file to open.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fdc::ui {

struct ProgramArguments {
  bool help = false;  // --help or -h
  bool version = false;
  // The first argument that is not an option (after "--", any): opened as File > Open opens a
  // file, with its messages.
  std::optional<std::string> file;
};

// Reads the arguments after the program name (Qt's own taken out already).
ProgramArguments ReadProgramArguments(const std::vector<std::string>& args);

// The texts of --help and --version.
std::string ProgramHelpText();
std::string ProgramVersionText();

}  // namespace fdc::ui
