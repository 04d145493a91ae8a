// The blocks of a pcapng file as the tests read them, and every byte of the file as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fdc::test {

inline constexpr std::uint32_t kPcapngSectionHeader = 0x0A0D0D0A;
inline constexpr std::uint32_t kPcapngInterface = 1;
inline constexpr std::uint32_t kPcapngEnhancedPacket = 6;

// A little-endian number at `at`.
std::uint32_t Le32(std::string_view bytes, std::size_t at);

struct PcapngBlock {
  std::uint32_t type = 0;
  std::string_view body;  // between the block's two length fields
};

// The whole blocks from the start of `bytes`, up to the first that is cut short or whose lengths
// disagree; `wholeBytes` receives where the last whole block ends.
std::vector<PcapngBlock> PcapngBlocks(std::string_view bytes, std::size_t* wholeBytes = nullptr);

// The file as text, one line a block, its fields and options by name: a golden file of an
// export whose diff can be read. It is the file itself: any byte changed changes the text
// (padding, unknown options and broken blocks show as hex), except that `version`, at the end of
// shb_userappl, stands as "{version}", so that a new version of the program changes no golden file.
std::string PcapngText(std::string_view bytes, std::string_view version = {});

}  // namespace fdc::test
