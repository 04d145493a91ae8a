// The folder in which a fuzz target writes the files it feeds the engine: in memory where the
// system offers it, one per process, and removed again when the process ends normally.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fdc::fuzz {

inline std::filesystem::path& ScratchPath() {
  static std::filesystem::path path;
  return path;
}

inline std::string ScratchDirectory(const char* name) {
  static const std::string dir = [name] {
    std::error_code error;
    std::filesystem::path base = std::filesystem::exists("/dev/shm", error)
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    base /= std::string("fdc_") + name + "_fuzz_" + std::to_string(::getpid());
    std::filesystem::create_directories(base);
    ScratchPath() = base;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchPath(), ignored);
    });
    return base.string();
  }();
  return dir;
}

}  // namespace fdc::fuzz
