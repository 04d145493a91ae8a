// Fuzz target for the GSD reader: any bytes as a file's text. What it reads must be what a file
// can say: warnings on lines the text has, texts in valid UTF-8, bit numbers within a byte,
// defaults and ranges within their type, lookups that find what was read, and a library that
// takes the file by its ident number.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text_encoding.h"
#include "dp/gsd.h"

namespace {

using namespace fdc::dp;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckUtf8(std::string_view text) { Check(fdc::IsUtf8(text)); }

template <typename Map>
void CheckTexts(const Map& texts) {
  for (const auto& [key, text] : texts) CheckUtf8(text);
}

void CheckDefinition(const GsdPrmDefinition& d) {
  CheckUtf8(d.name);
  Check(d.firstBit <= d.lastBit && d.lastBit <= 7);
  Check(d.type == GsdPrmType::kBitArea || d.firstBit == d.lastBit);
  Check(d.type == GsdPrmType::kBit || d.type == GsdPrmType::kBitArea || d.lastBit == 0);
  std::int64_t min = 0;
  std::int64_t max = 0;
  switch (d.type) {
    case GsdPrmType::kBit:
      max = 1;
      break;
    case GsdPrmType::kBitArea:
      max = (std::int64_t{1} << (d.lastBit - d.firstBit + 1)) - 1;
      break;
    case GsdPrmType::kUnsigned8:
      max = 0xFF;
      break;
    case GsdPrmType::kUnsigned16:
      max = 0xFFFF;
      break;
    case GsdPrmType::kUnsigned32:
      max = 0xFFFFFFFF;
      break;
    case GsdPrmType::kSigned8:
      min = -0x80, max = 0x7F;
      break;
    case GsdPrmType::kSigned16:
      min = -0x8000, max = 0x7FFF;
      break;
    case GsdPrmType::kSigned32:
      min = -0x80000000LL, max = 0x7FFFFFFF;
      break;
  }
  const auto within = [&](std::int64_t v) { return v >= min && v <= max; };
  Check(within(d.defaultValue));
  Check(d.minValue.has_value() == d.maxValue.has_value());
  Check(!d.minValue || (within(*d.minValue) && within(*d.maxValue) && *d.minValue <= *d.maxValue));
  Check(!d.minValue || d.allowed.empty());
  Check(std::all_of(d.allowed.begin(), d.allowed.end(), within));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const GsdFile file = ParseGsd(text);
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  for (const GsdWarning& warning : file.warnings) {
    Check(warning.line >= 1 && warning.line <= lines + 1);
    Check(!warning.message.empty());
    CheckUtf8(warning.message);
  }
  for (const std::string* s :
       {&file.vendor, &file.model, &file.revision, &file.hardwareRelease, &file.softwareRelease}) {
    CheckUtf8(*s);
  }
  for (const GsdModule& module : file.modules) {
    CheckUtf8(module.name);
    Check(!module.bytes.empty());
    CheckTexts(module.channelDiag);
    for (const GsdPrmConst& c : module.prmConsts) Check(!c.bytes.empty());
  }
  CheckTexts(file.unitDiagBits);
  CheckTexts(file.unitDiagNotBits);
  CheckTexts(file.unitDiagBitHelp);
  CheckTexts(file.channelDiag);
  for (const GsdUnitDiagArea& area : file.unitDiagAreas) {
    Check(area.first <= area.last);
    CheckTexts(area.values);
  }
  for (const GsdPrmText& prmText : file.prmTexts) {
    CheckTexts(prmText.texts);
    const GsdPrmText* found = file.PrmTextById(prmText.id);
    Check(found != nullptr && found->id == prmText.id && found <= &prmText);
  }
  for (const GsdPrmDefinition& definition : file.prmDefinitions) {
    CheckDefinition(definition);
    const GsdPrmDefinition* found = file.PrmDefinitionByRef(definition.ref);
    Check(found != nullptr && found->ref == definition.ref && found <= &definition);
  }
  for (const GsdPrmConst& c : file.prmConsts) Check(!c.bytes.empty());

  GsdLibrary library;
  library.Add("fuzz.gsd", file);
  Check(library.FileCount() == (file.identNumber ? 1u : 0u));
  if (file.identNumber) {
    const GsdLibrary::Match* match = library.Find(*file.identNumber);
    Check(match != nullptr && match->entry->file == "fuzz.gsd" && match->otherFiles.empty());
  }

  // The file's names on the same bytes read as a configuration, a diagnosis and parameters: the
  // split covers every byte once, in order, with each module's own bytes.
  const fdc::ByteView bytes(data, size);
  const std::vector<GsdModuleMatch> split = SplitModules(file, bytes);
  std::size_t covered = 0;
  for (const GsdModuleMatch& m : split) {
    Check(m.offset == covered && !m.bytes.empty());
    if (m.module) {
      Check(*m.module < file.modules.size() && file.modules[*m.module].bytes == m.bytes);
      Check(!m.candidates.empty() && m.candidates.front() == *m.module);
    }
    covered += m.bytes.size();
  }
  Check(covered == size && UnmatchedBytes(split) <= size);
  for (const GsdDiagText& t : DiagTexts(file, bytes, split)) {
    Check(t.block < size &&
          (t.bit.has_value() + t.areaFirst.has_value() + t.channelError.has_value()) == 1);
    CheckUtf8(t.text);
    CheckUtf8(t.help);
  }
  SetPrm prm = DecodeSetPrm(bytes);
  NameSetPrm(file, split, prm);
  if (prm.parameters) {
    for (const GsdParameter& p : *prm.parameters) CheckUtf8(p.name);
  }
  return 0;
}
