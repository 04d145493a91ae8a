// PcapngWriter: a small pcapng encoder (section header, interface description, enhanced packet
// blocks) that hands whole blocks only to its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fdc {

// Link types of the interface description.
inline constexpr std::uint16_t kLinkTypeUser0 = 147;
inline constexpr std::uint16_t kLinkTypeProfibusDl = 257;

// epb_flags bits: the direction in bits 0-1, link-layer errors in bits 24-31.
inline constexpr std::uint32_t kEpbInbound = 0x00000001u;
inline constexpr std::uint32_t kEpbCrcError = 1u << 24;
inline constexpr std::uint32_t kEpbStartFrameDelimiterError = 1u << 29;
inline constexpr std::uint32_t kEpbSymbolError = 1u << 31;

// One enhanced packet block. The packet data is `head` followed by `data`, so a prefix such as a
// status byte needs no copy of the frame.
struct PcapngPacket {
  std::uint64_t timestampNs = 0;
  std::span<const std::uint8_t> head{};
  std::span<const std::uint8_t> data{};
  std::uint32_t flags = 0;
  // One opt_comment each, in order; UTF-8.
  std::span<const std::string> comments{};
};

// Blocks are built in a buffer and reach the file only whole: when the buffer can't take the next
// block, and on Flush. So whenever the caller flushes, the file ends on a block boundary, unless
// the system refused part of a write: WriteFailed then reports it, and WholeBytes tells where the
// last whole block ends, for the caller to cut the file there. That count is exact only for a file
// without a buffer of its own (setvbuf _IONBF), whose partial write tells what reached the file.
class PcapngWriter {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  // Writes into memory: Written() holds what each flush handed over.
  PcapngWriter();
  // Writes into `file`, which stays the caller's to close.
  explicit PcapngWriter(std::FILE* file);
  // Flushes; a failure then goes unreported, so callers Flush first.
  ~PcapngWriter();
  PcapngWriter(const PcapngWriter&) = delete;
  PcapngWriter& operator=(const PcapngWriter&) = delete;

  // Little-endian section of unknown length, with shb_userappl unless it is empty.
  void SectionHeader(std::string_view userAppl);
  // Interface with if_name and if_description (each left out when empty) and if_tsresol 9:
  // timestamps in nanoseconds. A snapLen of 0 means no limit.
  void InterfaceDescription(std::uint16_t linkType, std::string_view name,
                            std::string_view description, std::uint32_t snapLen = 0);
  // An enhanced packet block on interface 0, captured length = original length, with epb_flags
  // and the packet's comments.
  void EnhancedPacket(const PcapngPacket& packet);

  // Hands every buffered block to the file and flushes the file. False once any write has failed.
  [[nodiscard]] bool Flush();
  bool WriteFailed() const { return writeFailed_; }
  // errno of the first failed write, 0 if none did.
  int WriteErrno() const { return writeErrno_; }
  // Bytes handed to the file that make whole blocks: all of them, unless a write failed part way.
  std::uint64_t WholeBytes() const { return wholeBytes_; }

  // Bytes built but not yet handed to the file: always whole blocks.
  std::size_t BufferedBytes() const { return length_; }
  // In memory mode, everything flushed so far.
  const std::vector<std::uint8_t>& Written() const { return memory_; }

 private:
  std::uint8_t* StartBlock(std::size_t size);
  void HandOver();
  // The length of the whole blocks at the start of the buffer's first `written` bytes.
  std::size_t WholeBlocksIn(std::size_t written) const;

  std::FILE* file_ = nullptr;
  bool toMemory_ = false;
  std::vector<std::uint8_t> buffer_;
  std::size_t length_ = 0;
  std::vector<std::uint8_t> memory_;
  bool writeFailed_ = false;
  int writeErrno_ = 0;
  std::uint64_t wholeBytes_ = 0;
};

}  // namespace fdc
