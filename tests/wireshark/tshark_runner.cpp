// Runs tshark with the FDL dissector and reads back its output.
#include "tests/wireshark/tshark_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/pcapng_text.h"

extern char** environ;

namespace fdc::test {

namespace {

namespace fs = std::filesystem;

// A home folder of its own for every tshark this process starts: no personal preferences, no
// profile, no plugin installed by the user (a second copy of the dissector would clash).
class TsharkHome {
 public:
  TsharkHome() {
    std::string pattern = (fs::temp_directory_path() / "fdc_tshark_XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TsharkHome() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& HomeFolder() {
  static const TsharkHome home;
  return home.path();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The environment of the child: this one with HOME replaced and no XDG_CONFIG_HOME.
std::vector<std::string> ChildEnvironment(const std::string& home) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (text.starts_with("HOME=") || text.starts_with("XDG_CONFIG_HOME=")) continue;
    entries.emplace_back(text);
  }
  entries.push_back("HOME=" + home);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Runs the program with its output and error output going to the two files; returns its exit
// status, -1 if it did not start or did not end normally.
int Spawn(std::vector<std::string> argv, const std::string& outPath, const std::string& errPath,
          const std::string& home) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> env = ChildEnvironment(home);
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(),
                                   envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The standard error less tshark's warning about running as root.
std::string UnexpectedErrorOutput(const std::string& err) {
  // Running as user "root" and group "root". This could be dangerous.
  const auto isRootWarning = [](const std::string& line) {
    return line.starts_with("Running as user \"") && line.find("\" and group \"") != line.npos &&
           line.ends_with("\". This could be dangerous.");
  };
  std::string rest;
  for (const std::string& line : Split(err, '\n')) {
    if (line.empty() || isRootWarning(line)) continue;
    rest += line + "\n";
  }
  return rest;
}

std::string Problems(const TsharkRun& run) {
  std::string problems;
  if (run.exitStatus != 0) {
    problems += "tshark exited with status " + std::to_string(run.exitStatus) + "\n";
  }
  const std::string err = UnexpectedErrorOutput(run.err);
  if (!err.empty()) problems += "tshark's standard error: " + err;
  for (const std::string& line : Split(run.out, '\n')) {
    if (line.find("Lua Error") != std::string::npos) problems += "in the output: " + line + "\n";
  }
  return problems;
}

}  // namespace

TsharkRun RunTshark(const std::vector<std::string>& args, const TsharkSetup& setup) {
  TsharkRun run;
  const std::string& home = HomeFolder();
  if (home.empty()) {
    run.problems = "no temporary home folder for tshark\n";
    return run;
  }
  static std::atomic<int> counter{0};
  const std::string stem = home + "/run" + std::to_string(counter++);
  std::vector<std::string> argv = {setup.tshark, "-X", "lua_script:" + setup.dissector, "-n"};
  argv.insert(argv.end(), args.begin(), args.end());
  run.exitStatus = Spawn(argv, stem + ".out", stem + ".err", home);
  run.out = ReadFile(stem + ".out");
  run.err = ReadFile(stem + ".err");
  std::error_code ignored;
  fs::remove(stem + ".out", ignored);
  fs::remove(stem + ".err", ignored);
  run.problems = Problems(run);
  return run;
}

namespace {

// The rows of a fields run, and for each row what shows that its dissection failed.
struct Rows {
  std::vector<std::vector<std::string>> cells;  // one per packet, one cell per field asked
  std::vector<std::string> packetProblems;      // one per packet, empty when it was dissected
  std::string problems;                         // of the run, and lines that are no packet
};

Rows ReadRows(const std::string& capture, const std::vector<std::string>& fields,
              const TsharkFieldOptions& options) {
  std::vector<std::string> args = {"-r", capture,
                                   "-T", "fields",
                                   "-E", "header=n",
                                   "-E", "separator=/t",
                                   "-E", "quote=n",
                                   "-E", "occurrence=a",
                                   "-E", std::string("aggregator=") + options.aggregator};
  // Two more columns catch the packets whose dissection failed.
  std::vector<std::string> asked = fields;
  asked.push_back("_ws.lua.error");
  asked.push_back("_ws.malformed.expert");
  for (const std::string& field : asked) {
    args.push_back("-e");
    args.push_back(field);
  }
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());

  const TsharkRun run = RunTshark(args, options.setup);
  Rows rows;
  rows.problems = run.problems;
  std::vector<std::string> lines = Split(run.out, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> cells = Split(lines[i], '\t');
    if (cells.size() != asked.size()) {
      rows.problems += "packet " + std::to_string(i + 1) + ": " + std::to_string(cells.size()) +
                       " cells instead of " + std::to_string(asked.size()) + ": " + lines[i] + "\n";
      continue;
    }
    std::string problem;
    if (!cells[fields.size()].empty()) problem += "Lua error";
    if (!cells[fields.size() + 1].empty()) problem += problem.empty() ? "exception" : ", exception";
    cells.resize(fields.size());
    rows.cells.push_back(std::move(cells));
    rows.packetProblems.push_back(problem);
  }
  return rows;
}

std::string PacketProblem(std::size_t packet, const std::string& problem) {
  return problem.empty() ? "" : "packet " + std::to_string(packet) + ": " + problem + "\n";
}

}  // namespace

TsharkFields ReadTsharkFields(const std::string& capture, const std::vector<std::string>& fields,
                              const TsharkFieldOptions& options) {
  Rows rows = ReadRows(capture, fields, options);
  TsharkFields result;
  result.problems = rows.problems;
  for (std::size_t i = 0; i < rows.cells.size(); ++i) {
    result.problems += PacketProblem(i + 1, rows.packetProblems[i]);
  }
  result.rows = std::move(rows.cells);
  return result;
}

std::vector<TsharkFields> ReadTsharkFieldsOfEach(const std::vector<std::string>& captures,
                                                 const std::vector<std::string>& fields,
                                                 const TsharkFieldOptions& options) {
  std::vector<TsharkFields> each(captures.size());
  std::string joined;
  std::vector<std::size_t> captureOfSection;
  for (std::size_t i = 0; i < captures.size(); ++i) {
    const std::string bytes = ReadFile(captures[i]);
    std::size_t whole = 0;
    const std::vector<PcapngBlock> blocks = PcapngBlocks(bytes, &whole);
    const auto sections = std::count_if(blocks.begin(), blocks.end(), [](const PcapngBlock& b) {
      return b.type == kPcapngSectionHeader;
    });
    if (blocks.empty() || blocks.front().type != kPcapngSectionHeader || sections != 1 ||
        whole != bytes.size()) {
      each[i].problems = captures[i] + " is not one whole pcapng section\n";
      continue;
    }
    joined += bytes;
    captureOfSection.push_back(i);
  }
  static std::atomic<int> counter{0};
  const std::string path = HomeFolder() + "/joined" + std::to_string(counter++) + ".pcapng";
  std::ofstream(path, std::ios::binary) << joined;

  std::vector<std::string> asked = fields;
  asked.push_back("frame.section_number");
  Rows rows = ReadRows(path, asked, options);
  std::error_code ignored;
  fs::remove(path, ignored);
  for (std::size_t r = 0; r < rows.cells.size(); ++r) {
    std::vector<std::string>& cells = rows.cells[r];
    const std::size_t section = std::strtoul(cells.back().c_str(), nullptr, 10);
    if (section < 1 || section > captureOfSection.size()) {
      rows.problems += "packet " + std::to_string(r + 1) + " of the joined file: section '" +
                       cells.back() + "'\n";
      continue;
    }
    TsharkFields& read = each[captureOfSection[section - 1]];
    cells.pop_back();
    read.rows.push_back(std::move(cells));
    read.problems += PacketProblem(read.rows.size(), rows.packetProblems[r]);
  }
  // What went wrong with the run may concern any of the files.
  for (TsharkFields& read : each) read.problems = rows.problems + read.problems;
  return each;
}

std::vector<std::string> SplitValues(const std::string& cell, char aggregator) {
  if (cell.empty()) return {};
  return Split(cell, aggregator);
}

TsharkRun ReadTsharkVerbose(const std::string& capture, const std::vector<std::string>& extraArgs,
                            const TsharkSetup& setup) {
  std::vector<std::string> args = {"-r", capture, "-V"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  return RunTshark(args, setup);
}

}  // namespace fdc::test
