// Runs tshark with the FDL dissector on a pcapng file and reads back its output: the fields of
// every packet as rows, and everything that shows a failed dissection.
#pragma once

#include <string>
#include <vector>

namespace fdc::test {

// Which tshark and which dissector. The defaults are the ones this build found.
struct TsharkSetup {
  std::string tshark = FDC_TSHARK;
  std::string dissector = FDC_SOURCE_DIR "/wireshark/profibus_fdl.lua";
};

struct TsharkRun {
  int exitStatus = -1;  // -1 when tshark could not be started or did not exit normally
  std::string out;
  std::string err;
  // Empty when the run was clean: exit 0, no "Lua Error" in the output, nothing on the standard
  // error but tshark's warning about running as root. Otherwise what went wrong.
  std::string problems;
};

// tshark -X lua_script:<dissector> -n <args>, in an empty home folder so that no personal
// preference, profile or installed copy of the dissector changes what it prints.
TsharkRun RunTshark(const std::vector<std::string>& args, const TsharkSetup& setup = {});

struct TsharkFieldOptions {
  // Joins the values of a field that occurs more than once in a packet; pick one that no value
  // holds (comments, for instance, may hold commas).
  char aggregator = ',';
  // More arguments: a display filter ("-Y", "fdl.sd == 0x68"), preferences ("-o", "name:value").
  std::vector<std::string> extraArgs;
  TsharkSetup setup;
};

struct TsharkFields {
  // One row per packet, one cell per requested field, in the order asked; a cell is empty when
  // the packet lacks the field.
  std::vector<std::vector<std::string>> rows;
  // As TsharkRun::problems, and also any packet with a Lua error or an exception in a dissector
  // (_ws.lua.error, _ws.malformed.expert; the packet numbers are named). A malformed frame
  // reported as expert info is no problem: that is what the dissector is for.
  std::string problems;
};

// tshark -r <capture> -T fields -e <field>... : the rows of every packet.
TsharkFields ReadTsharkFields(const std::string& capture, const std::vector<std::string>& fields,
                              const TsharkFieldOptions& options = {});

// ReadTsharkFields of several captures with one tshark run, which takes longer to start than to
// read most captures: they are joined as the sections of one file, and frame.section_number gives
// each packet back to its capture. Each capture must be one whole pcapng section; one that is not
// is named in its problems and has no rows. What went wrong with the run is in every capture's
// problems; a packet's own problem is in its capture's, with its number there.
std::vector<TsharkFields> ReadTsharkFieldsOfEach(const std::vector<std::string>& captures,
                                                 const std::vector<std::string>& fields,
                                                 const TsharkFieldOptions& options = {});

// The values of a cell that aggregated several occurrences.
std::vector<std::string> SplitValues(const std::string& cell, char aggregator = ',');

// tshark -r <capture> -V : the whole dissection as text, and its problems.
TsharkRun ReadTsharkVerbose(const std::string& capture,
                            const std::vector<std::string>& extraArgs = {},
                            const TsharkSetup& setup = {});

}  // namespace fdc::test
