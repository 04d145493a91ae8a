// Field formatters: address, SAP, function code, data unit and raw hex columns.
#include <array>
#include <cstring>
#include <string_view>

#include "engine/line_writers.h"

namespace fdc {

namespace {

// The function-code column's name of every FC byte, padded to five characters with its trailing
// blank; a code without a name shows as "Typ?(%02x) " with the whole FC byte.
struct PaddedName {
  std::array<char, 5> text{};
  bool known = false;
};
constexpr std::array<PaddedName, 256> kFunctionCodeNames = [] {
  std::array<PaddedName, 256> names{};
  for (unsigned fc = 0; fc < 256; ++fc) {
    const std::string_view name = FunctionCodeName(static_cast<std::uint8_t>(fc));
    if (name.empty()) continue;
    names[fc].known = true;
    names[fc].text.fill(' ');
    for (std::size_t i = 0; i < name.size(); ++i) names[fc].text[i] = name[i];
  }
  return names;
}();

// The station type of a response, with its trailing blank ("ss ").
constexpr std::array<std::array<char, 3>, 4> kStationTypeColumn = [] {
  std::array<std::array<char, 3>, 4> columns{};
  for (std::size_t i = 0; i < kStationTypes.size(); ++i) {
    columns[i] = {kStationTypes[i].abbreviation[0], kStationTypes[i].abbreviation[1], ' '};
  }
  return columns;
}();

// Each byte value as "%3u " and as "%4d " of its signed reading.
constexpr std::array<char, std::size_t{256} * 4> kUnsignedBytes = [] {
  std::array<char, std::size_t{256} * 4> text{};
  for (std::size_t v = 0; v < 256; ++v) {
    char* at = text.data() + 4 * v;
    at[0] = v >= 100 ? static_cast<char>('0' + v / 100) : ' ';
    at[1] = v >= 10 ? static_cast<char>('0' + v / 10 % 10) : ' ';
    at[2] = static_cast<char>('0' + v % 10);
    at[3] = ' ';
  }
  return text;
}();
constexpr std::array<char, std::size_t{256} * 5> kSignedBytes = [] {
  std::array<char, std::size_t{256} * 5> text{};
  for (std::size_t b = 0; b < 256; ++b) {
    const int v = b < 128 ? static_cast<int>(b) : static_cast<int>(b) - 256;
    const int magnitude = v < 0 ? -v : v;
    char* at = text.data() + 5 * b;
    at[0] = at[1] = at[2] = ' ';
    int pos = 3;
    at[pos--] = static_cast<char>('0' + magnitude % 10);
    if (magnitude >= 10) at[pos--] = static_cast<char>('0' + magnitude / 10 % 10);
    if (magnitude >= 100) at[pos--] = static_cast<char>('0' + magnitude / 100);
    if (v < 0) at[pos] = '-';
    at[4] = ' ';
  }
  return text;
}();

void WriteUnknownCode(DumpWriter& out, std::uint8_t fc) {
  out.Text("Typ?(");
  out.Hex2(fc);
  out.Text(") ");
}

}  // namespace

void WriteAddressColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t da,
                        std::uint8_t sa) {
  if (options.NoDst && options.NoSrc) return;
  if (!options.NoDst) out.Dec(da & 0x7Fu, 3);
  out.Char('<');
  if (!options.NoSrc) out.DecLeft(sa & 0x7Fu, 3);
  out.Char(' ');
}

void WriteSapColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t da, std::uint8_t sa,
                    std::uint8_t dsap, std::uint8_t ssap) {
  if (options.NoDstSap && options.NoSrcSap) return;
  const bool hasDsap = (da & kSapExtension) != 0;
  const bool hasSsap = (sa & kSapExtension) != 0;
  if (!options.NoDstSap) {
    if (hasDsap) {
      out.Dec(dsap, 2);
    } else {
      out.Text("  ");
    }
  }
  const bool joint = (hasDsap && !options.NoDstSap) || (hasSsap && !options.NoSrcSap);
  out.Char(joint ? '{' : ' ');
  if (!options.NoSrcSap) {
    if (hasSsap) {
      out.DecLeft(ssap, 2);
    } else {
      out.Text("  ");
    }
  }
  out.Char(' ');
}

void WriteFunctionCodeColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t fc) {
  if (options.NoFc) return;
  if (options.ShowFcbTyp) {
    if (fc & kFcRequest) {
      out.Char((fc & kFcFcb) ? '1' : '0');
      out.Text((fc & kFcFcv) ? "v " : "  ");
    } else {
      const auto& type = kStationTypeColumn[(fc >> 4) & 0x03u];
      out.Text(std::string_view(type.data(), type.size()));
    }
  }
  const PaddedName& name = kFunctionCodeNames[fc];
  if (name.known) {
    out.Text(std::string_view(name.text.data(), name.text.size()));
  } else {
    WriteUnknownCode(out, fc);
  }
}

void WriteDataUnit(DumpWriter& out, const DumpOptions& options, const std::uint8_t* data,
                   std::size_t count) {
  if (count == 0) return;
  if (options.Data16 && count % 2 == 0) {
    for (std::size_t i = 0; i < count; i += 2) {
      const auto word = static_cast<std::uint16_t>((data[i] << 8) | data[i + 1]);
      if (options.DataSgn) {
        out.SignedDec(static_cast<std::int16_t>(word), 6);
      } else if (options.DataUns) {
        out.Dec(word, 5);
      } else {
        out.HexPadded(word, 4);
      }
      out.Char(' ');
    }
    return;
  }
  if (!options.DataSgn && !options.DataUns) return WriteHexBytes(out, data, count);
  // "%4d " or "%3u " per byte: a fixed width, so the text comes from a table.
  const std::size_t width = options.DataSgn ? 5 : 4;
  const char* table = options.DataSgn ? kSignedBytes.data() : kUnsignedBytes.data();
  char* at = out.Claim(width * count);
  for (std::size_t i = 0; i < count; ++i, at += width) {
    std::memcpy(at, table + width * data[i], width);
  }
}

void WriteHexBytes(DumpWriter& out, const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kHex[] = "0123456789abcdef";
  char* at = out.Claim(3 * count);
  for (std::size_t i = 0; i < count; ++i, at += 3) {
    at[0] = kHex[bytes[i] >> 4];
    at[1] = kHex[bytes[i] & 0x0F];
    at[2] = ' ';
  }
}

}  // namespace fdc
