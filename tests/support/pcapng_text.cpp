// pcapng read back for the tests, without the writer under test: blocks, and the file as text.
#include "tests/support/pcapng_text.h"

#include <cinttypes>
#include <cstdio>

namespace fdc::test {

namespace {

std::uint16_t Le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint64_t Le64(std::string_view bytes, std::size_t at) {
  return Le32(bytes, at) | std::uint64_t{Le32(bytes, at + 4)} << 32;
}

std::size_t Padded(std::size_t length) { return (length + 3) & ~std::size_t{3}; }

std::string Hex(std::string_view bytes) {
  std::string text;
  for (const char byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}

// Quoted, with a quote, a backslash and every byte outside printable ASCII escaped.
std::string Quoted(std::string_view value) {
  std::string text = "\"";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += std::string("\\") + c;
    } else if (byte < 0x20 || byte >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text + "\"";
}

// Padding is zero; anything else is shown.
std::string PaddingText(std::string_view padding) {
  return padding.find_first_not_of('\0') == std::string_view::npos ? ""
                                                                   : " padding " + Hex(padding);
}

// One option by its name for the block type, or by its code with its bytes.
std::string OptionText(std::uint32_t block, std::uint16_t code, std::string_view value,
                       std::string_view version) {
  const char* text = nullptr;  // a string option's name
  if (code == 1) text = "comment";
  if (block == kPcapngSectionHeader && code == 2) text = "shb_hardware";
  if (block == kPcapngSectionHeader && code == 3) text = "shb_os";
  if (block == kPcapngInterface && code == 2) text = "if_name";
  if (block == kPcapngInterface && code == 3) text = "if_description";
  if (text != nullptr) return std::string(" ") + text + " " + Quoted(value);
  if (block == kPcapngSectionHeader && code == 4) {
    if (version.empty() || !value.ends_with(version)) return " shb_userappl " + Quoted(value);
    return " shb_userappl " +
           Quoted(std::string(value.substr(0, value.size() - version.size())) + "{version}");
  }
  if (block == kPcapngInterface && code == 9 && value.size() == 1) {
    return " if_tsresol " + std::to_string(static_cast<unsigned char>(value[0]));
  }
  if (block == kPcapngEnhancedPacket && code == 2 && value.size() == 4) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08x", Le32(value, 0));
    return std::string(" epb_flags ") + flags;
  }
  return " option " + std::to_string(code) + " [" + Hex(value) + "]";
}

// The options from `at` to the end of the body. Options that end without opt_endofopt, an
// opt_endofopt alone, and bytes after it are shown; a body that ends where its options would
// begin has none.
std::string OptionsText(const PcapngBlock& block, std::size_t at, std::string_view version) {
  std::string text;
  bool any = false;
  const std::string_view body = block.body;
  while (at < body.size()) {
    if (body.size() - at < 4) return text + " options cut short [" + Hex(body.substr(at)) + "]";
    const std::uint16_t code = Le16(body, at);
    const std::uint16_t length = Le16(body, at + 2);
    if (code == 0 && length == 0) {
      if (!any) text += " no options";
      if (at + 4 < body.size()) text += " after the options [" + Hex(body.substr(at + 4)) + "]";
      return text;
    }
    if (body.size() - at - 4 < Padded(length)) {
      return text + " option cut short [" + Hex(body.substr(at)) + "]";
    }
    text += OptionText(block.type, code, body.substr(at + 4, length), version);
    text += PaddingText(body.substr(at + 4 + length, Padded(length) - length));
    at += 4 + Padded(length);
    any = true;
  }
  return any ? text + " no end of options" : text;
}

std::string BlockText(const PcapngBlock& block, std::string_view version) {
  const std::string_view body = block.body;
  char head[128];
  if (block.type == kPcapngSectionHeader && body.size() >= 16) {
    std::snprintf(head, sizeof head, "SHB magic %08x version %u.%u length %" PRId64, Le32(body, 0),
                  Le16(body, 4), Le16(body, 6), static_cast<std::int64_t>(Le64(body, 8)));
    return head + OptionsText(block, 16, version);
  }
  if (block.type == kPcapngInterface && body.size() >= 8) {
    std::snprintf(head, sizeof head, "IDB linktype %u", Le16(body, 0));
    std::string text = head;
    if (Le16(body, 2) != 0) text += " reserved " + std::to_string(Le16(body, 2));
    return text + " snaplen " + std::to_string(Le32(body, 4)) + OptionsText(block, 8, version);
  }
  if (block.type == kPcapngEnhancedPacket && body.size() >= 20 &&
      body.size() - 20 >= Padded(Le32(body, 12))) {
    const std::uint64_t ts = std::uint64_t{Le32(body, 4)} << 32 | Le32(body, 8);
    const std::uint32_t captured = Le32(body, 12);
    const std::uint32_t original = Le32(body, 16);
    std::snprintf(head, sizeof head, "EPB if %u ts %" PRIu64 ".%09" PRIu64, Le32(body, 0),
                  ts / 1'000'000'000u, ts % 1'000'000'000u);
    std::string text = head;
    if (original != captured) text += " original " + std::to_string(original);
    text += OptionsText(block, 20 + Padded(captured), version);
    text += PaddingText(body.substr(20 + captured, Padded(captured) - captured));
    return text + " data [" + Hex(body.substr(20, captured)) + "]";
  }
  char type[16];
  std::snprintf(type, sizeof type, "%08x", block.type);
  return std::string("block ") + type + " [" + Hex(body) + "]";
}

}  // namespace

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(bytes, at)) |
         static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16;
}

std::vector<PcapngBlock> PcapngBlocks(std::string_view bytes, std::size_t* wholeBytes) {
  std::vector<PcapngBlock> blocks;
  std::size_t at = 0;
  while (bytes.size() - at >= 12) {
    const std::uint32_t length = Le32(bytes, at + 4);
    if (length < 12 || length % 4 != 0 || length > bytes.size() - at ||
        Le32(bytes, at + length - 4) != length) {
      break;
    }
    blocks.push_back({Le32(bytes, at), bytes.substr(at + 8, length - 12)});
    at += length;
  }
  if (wholeBytes != nullptr) *wholeBytes = at;
  return blocks;
}

std::string PcapngText(std::string_view bytes, std::string_view version) {
  std::string text;
  std::size_t whole = 0;
  for (const PcapngBlock& block : PcapngBlocks(bytes, &whole)) {
    text += BlockText(block, version) + "\n";
  }
  if (whole < bytes.size()) text += "not a whole block [" + Hex(bytes.substr(whole)) + "]\n";
  return text;
}

}  // namespace fdc::test
