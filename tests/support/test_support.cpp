// Shared helpers for the tests.
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <csignal>
#include <fstream>
#include <sstream>

#include "tools/capture_writer.h"

namespace fdc::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "_" + info->name()
                                     : std::string("fdc");
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  path_ = fs::temp_directory_path() /
          ("fdc_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + name);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

CaptureBytes::CaptureBytes(std::uint16_t baudCode, std::uint32_t ip, const std::string& name)
    : bytes(gen::EncodeHeader(baudCode, ip, name)) {}

CaptureBytes& CaptureBytes::Record(std::uint64_t timestamp, const std::vector<std::uint8_t>& frame,
                                   std::uint8_t status) {
  gen::AppendRecord(bytes, timestamp, frame, status);
  return *this;
}

CaptureBytes& CaptureBytes::Raw(const std::vector<std::uint8_t>& raw) {
  bytes.insert(bytes.end(), raw.begin(), raw.end());
  return *this;
}

void WriteRun(const TempDir& dir, const std::vector<CaptureBytes>& files, unsigned hour,
              unsigned minute) {
  for (const CaptureBytes& file : files) {
    ASSERT_TRUE(gen::WriteFile(gen::MinuteFileName(dir.File("cap"), hour, minute), file.bytes));
    if (++minute == 60) {
      minute = 0;
      hour = hour < 23 ? hour + 1 : 0;
    }
  }
}

DumpOutcome RunDump(const TempDir& dir, unsigned numMin, const std::string& optionText,
                    std::uint32_t startRef, std::uint32_t endRef,
                    std::array<std::int32_t, 4> cmdArgs, unsigned hour, unsigned minute) {
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.OutputPath = dir.File("dump.txt");
  if (!optionText.empty()) {
    request.OptionPath = dir.File("test.opt");
    WriteText(request.OptionPath, optionText);
  }
  request.Run.hour = hour;
  request.Run.minute = minute;
  request.Run.count = numMin;
  request.StartRef = startRef;
  request.EndRef = endRef;
  request.CmdArgs = cmdArgs;
  DumpOutcome outcome;
  Result result = DumpRun(request, nullptr, &outcome.summary);
  outcome.ok = result.ok();
  outcome.error = result.ErrorText();
  outcome.dump = ReadText(request.OutputPath);
  return outcome;
}

CommandOutcome RunCommand(const CommandMain& command, const std::vector<std::string>& args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CommandOutcome outcome;
  if (out == nullptr || err == nullptr) {
    ADD_FAILURE() << "no temporary file for the command's output";
    if (out != nullptr) std::fclose(out);
    if (err != nullptr) std::fclose(err);
    outcome.status = -1;
    return outcome;
  }
  outcome.status = command(args, out, err);
  for (auto [file, text] : {std::pair{out, &outcome.out}, std::pair{err, &outcome.err}}) {
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
      text->append(buffer, n);
    }
    std::fclose(file);
  }
  return outcome;
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  previousLimit_ = limit.rlim_cur;
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previousLimit_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace fdc::test

namespace fdc::test {

std::string Render(const std::function<void(DumpWriter&)>& write) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("fdc_render_" + std::to_string(::getpid())))
          .string();
  {
    DumpWriter out;
    if (!out.Open(path)) {
      ADD_FAILURE() << "cannot create " << path;
      return {};
    }
    write(out);
    out.Close();
  }
  std::string text = ReadText(path);
  std::filesystem::remove(path);
  return text;
}

DumpOptions OptionsFrom(const std::vector<std::string>& lines) {
  DumpOptions options;
  for (std::string line : lines) {
    Result applied = ParseOptionLine(line, options);
    EXPECT_TRUE(applied.ok()) << line << ": " << applied.ErrorText();
  }
  return options;
}

}  // namespace fdc::test
