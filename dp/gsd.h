// GSD files: the device descriptions a slave's maker ships. `ParseGsd` reads one file's text into
// a `GsdFile` (what the analyser uses of it); `GsdLibrary` holds the files of the GSD folders by
// ident number; the functions at the end put a file's names and texts on what a slave said: its
// configuration split into the file's modules, its device-related diagnosis bits and its user
// parameters. Standard library only; nothing here throws on bad input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_format.h"
#include "dp/dp_services.h"

namespace fdc::dp {

// The rates a file describes, in the order of its keywords `<rate>_supp` and `MaxTsdr_<rate>`.
inline constexpr std::array<std::string_view, 10> kGsdRateNames = {
    "9.6", "19.2", "45.45", "93.75", "187.5", "500", "1.5M", "3M", "6M", "12M"};
// The rate index (into kGsdRateNames) of a capture's baud code; none for an unknown rate.
std::optional<std::size_t> GsdRateOfBaudCode(std::uint16_t baudCode);

// `PrmText = id` with its `Text(value) = "…"` lines.
struct GsdPrmText {
  std::int64_t id = 0;
  std::map<std::int64_t, std::string> texts;
};

enum class GsdPrmType : std::uint8_t {
  kBit,
  kBitArea,
  kUnsigned8,
  kUnsigned16,
  kUnsigned32,
  kSigned8,
  kSigned16,
  kSigned32
};

// `ExtUserPrmData = ref "name"` with its type line and `Prm_Text_Ref`.
struct GsdPrmDefinition {
  std::int64_t ref = 0;
  std::string name;
  GsdPrmType type = GsdPrmType::kUnsigned8;
  std::uint8_t firstBit = 0;  // Bit(b): b; BitArea(a-b): a
  std::uint8_t lastBit = 0;   // Bit(b): b; BitArea(a-b): b
  std::int64_t defaultValue = 0;
  std::optional<std::int64_t> minValue;  // a range `min-max`
  std::optional<std::int64_t> maxValue;
  std::vector<std::int64_t> allowed;  // a list `a,b,c`
  std::optional<std::int64_t> textRef;
};

// `Ext_User_Prm_Data_Ref(offset) = ref` and `Ext_User_Prm_Data_Const(offset) = bytes`.
struct GsdPrmRef {
  std::uint32_t offset = 0;
  std::int64_t ref = 0;
};
struct GsdPrmConst {
  std::uint32_t offset = 0;
  std::vector<std::uint8_t> bytes;
};

struct GsdModule {
  std::string name;
  std::vector<std::uint8_t> bytes;          // its configuration identifier bytes
  std::optional<std::uint32_t> reference;   // the number on the line after `Module = …`
  std::optional<std::uint32_t> prmDataLen;  // Ext_Module_Prm_Data_Len
  std::vector<GsdPrmRef> prmRefs;           // offsets within the module's parameter area
  std::vector<GsdPrmConst> prmConsts;
  std::map<std::uint32_t, std::string> channelDiag;  // Channel_Diag(n) inside the module
};

// `Unit_Diag_Area = first-last` with its `Value(v) = "…"` lines.
struct GsdUnitDiagArea {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  std::map<std::int64_t, std::string> values;
};

struct GsdWarning {
  std::size_t line = 0;  // 1-based, the first line of the statement
  std::string message;
};

// What the analyser uses of one file. Texts are UTF-8.
struct GsdFile {
  std::optional<std::uint32_t> gsdRevision;
  std::string vendor, model, revision, hardwareRelease, softwareRelease;
  std::optional<std::uint16_t> identNumber;
  std::array<std::optional<bool>, kGsdRateNames.size()> rateSupported{};
  std::array<std::optional<std::uint32_t>, kGsdRateNames.size()> maxTsdrBits{};
  std::optional<std::uint32_t> minSlaveInterval;  // units of 100 µs
  std::optional<std::uint32_t> maxDiagDataLen;
  std::optional<bool> dpv1Slave, wdBase1msSupp, failSafe, modularStation;
  std::vector<GsdModule> modules;  // in the file's order
  std::map<std::uint32_t, std::string> unitDiagBits, unitDiagNotBits, unitDiagBitHelp;
  std::vector<GsdUnitDiagArea> unitDiagAreas;
  std::map<std::uint32_t, std::string> channelDiag;  // global Channel_Diag(n)
  std::vector<GsdPrmText> prmTexts;
  std::vector<GsdPrmDefinition> prmDefinitions;
  std::vector<GsdPrmRef> prmRefs;  // device-wide
  std::vector<GsdPrmConst> prmConsts;
  std::vector<GsdWarning> warnings;  // malformed lines, skipped

  const GsdPrmText* PrmTextById(std::int64_t id) const;
  const GsdPrmDefinition* PrmDefinitionByRef(std::int64_t ref) const;
};

// Reads a file's bytes (ISO-8859-1 text). Never fails: what cannot be read is skipped with a
// warning.
GsdFile ParseGsd(std::string_view bytes);

// True for a name that ends in .gsd, .gse, .gsg, .gsf, .gsi or .gss in any case.
bool IsGsdFileName(std::string_view name);

// The files of the GSD folders, by ident number.
class GsdLibrary {
 public:
  struct Entry {
    std::string file;  // the file's name
    GsdFile gsd;
  };
  struct Match {
    const Entry* entry = nullptr;
    std::vector<std::string> otherFiles;  // the other files with the same ident, by preference
  };

  // Reads every GSD file in each folder (not below it). A folder that cannot be read, a file that
  // cannot be read or holds no ident number, and each file's warnings are told in `Messages`.
  static GsdLibrary Load(const std::vector<std::filesystem::path>& folders);
  // A file read elsewhere (tests).
  void Add(std::string file, GsdFile gsd);

  // The preferred file for an ident: .gse, then .gsd, then the others, by name within each.
  const Match* Find(std::uint16_t identNumber) const;
  const std::vector<std::string>& Messages() const { return messages_; }
  std::size_t FileCount() const { return entries_.size(); }
  std::size_t IdentCount() const { return byIdent_.size(); }

 private:
  void Index();
  // Shared, so that a copy's matches point at entries it holds as well.
  std::vector<std::shared_ptr<const Entry>> entries_;
  std::map<std::uint16_t, Match> byIdent_;
  std::vector<std::string> messages_;
};

// "Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)": the device as its file names it, and the file.
std::string GsdDeviceName(std::string_view vendor, std::string_view model,
                          std::string_view revision, std::string_view file);

// --- The file's names on what a slave said
// --------------------------------------------------------

// One piece of a configuration split into the file's modules: a module (with every module of the
// same bytes as candidates, the chosen one first) or a run of bytes no module matches.
struct GsdModuleMatch {
  std::optional<std::size_t> module;  // index into GsdFile::modules; none: unmatched bytes
  std::size_t offset = 0;             // in the configuration
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> candidates;
};
// Splits a Chk_Cfg's identifier bytes: the split with the fewest unmatched bytes, at each position
// the longest module, then the earliest in the file.
std::vector<GsdModuleMatch> SplitModules(const GsdFile& file, ByteView config);
std::size_t UnmatchedBytes(const std::vector<GsdModuleMatch>& split);

// The texts of a reply's data unit (the whole unit: 6 bytes of status, then the blocks).
// `modules`: the slave's configuration split, for a channel's module-specific texts.
std::vector<GsdDiagText> DiagTexts(const GsdFile& file, ByteView unit,
                                   const std::vector<GsdModuleMatch>& modules);

struct GsdParameters {
  std::vector<GsdParameter> parameters;
  bool shortArea = false;  // the bytes end before an area the file describes
};
// The user parameter bytes (offset 0 = byte 8 of the Set_Prm) decoded: device-wide offsets
// first, then each configured module's area in slot order.
GsdParameters DecodeParameters(const GsdFile& file, ByteView userPrm,
                               const std::vector<GsdModuleMatch>& modules);

// Reads a Set_Prm as the file says: without DPV1_Slave = 1, byte 8 is the maker's, not DP-V1
// Status_1, so the DP-V1 members are cleared and the watchdog runs on the 10 ms base.
void ApplyGsdToSetPrm(const GsdFile& file, SetPrm& prm);

// What the file adds to a decoded Set_Prm: the reading above, its `parameters`, and a remark when
// they are shorter than the file describes.
void NameSetPrm(const GsdFile& file, const std::vector<GsdModuleMatch>& modules, SetPrm& prm);
// What the file adds to a decoded Slave_Diag reply of at least 6 bytes: its `texts`.
void NameSlaveDiag(const GsdFile& file, const std::vector<GsdModuleMatch>& modules, ByteView unit,
                   SlaveDiag& diag);

}  // namespace fdc::dp
