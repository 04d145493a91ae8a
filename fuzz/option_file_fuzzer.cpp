// Fuzz target: arbitrary bytes as an option file, read and then used for a dump of a small
// fixed capture run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/dump_run.h"
#include "fuzz/scratch_directory.h"

namespace {

std::string Directory() { return fdc::fuzz::ScratchDirectory("option"); }

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

void Record(std::vector<std::uint8_t>& out, std::uint64_t time, std::vector<std::uint8_t> frame,
            std::uint8_t status) {
  out.push_back(0xDD);
  for (int i = 0; i < 6; ++i) out.push_back(static_cast<std::uint8_t>(time >> (8 * i)));
  out.push_back(static_cast<std::uint8_t>(frame.size()));
  out.insert(out.end(), frame.begin(), frame.end());
  out.push_back(status);
}

// A capture with one frame of each kind, well-formed and not.
void WriteCapture(const std::string& path) {
  std::vector<std::uint8_t> bytes(40, 0);
  bytes[2] = 1;
  Record(bytes, 0, {0x68, 7, 7, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x3e, 1, 2, 0xff, 0x16}, 0);
  Record(bytes, 1000, {0x10, 2, 1, 0x49, 0x4c, 0x16}, 0x40);
  Record(bytes, 900, {0xdc, 2, 1}, 0);
  Record(bytes, 5000, {0xe5}, 0);
  Record(bytes, 9000, {0xa2, 0x82, 0x81, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0x15}, 0xff);
  Record(bytes, 9100, {0x68, 4, 4, 0x68, 0x82, 0x81, 0x7d, 1, 0x16}, 0);
  Record(bytes, 9200, {}, 0x68);
  Write(path, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string dir = Directory();
  static const bool written = (WriteCapture(dir + "/opt1200.FdcCapt"), true);
  (void)written;
  fdc::DumpRequest request;
  request.Run.base = dir + "/opt";
  request.OutputPath = dir + "/dump.txt";
  request.OptionPath = dir + "/fuzz.opt";
  request.Run.hour = 12;
  request.Run.count = 1;
  request.CmdArgs = {2, 62, -5, 0};
  Write(request.OptionPath, std::vector<std::uint8_t>(data, data + size));
  (void)fdc::DumpRun(request, nullptr);
  return 0;
}
