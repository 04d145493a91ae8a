// The fdc2pcapng command line: the records a dump would print, as a pcapng file for Wireshark.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace fdc {

// Runs fdc2pcapng with the arguments after the program name; `out` also takes the file when the
// output is "-". Returns the exit status.
int RunFdc2pcapng(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace fdc
