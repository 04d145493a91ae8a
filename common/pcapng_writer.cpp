// PcapngWriter: pcapng blocks built in a buffer and handed to the file whole.
#include "common/pcapng_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fdc {

namespace {

constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescriptionBlock = 0x00000001;
constexpr std::uint32_t kEnhancedPacketBlock = 0x00000006;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

constexpr std::uint16_t kOptEndOfOpt = 0;
constexpr std::uint16_t kOptComment = 1;
constexpr std::uint16_t kShbUserAppl = 4;
constexpr std::uint16_t kIfName = 2;
constexpr std::uint16_t kIfDescription = 3;
constexpr std::uint16_t kIfTsResol = 9;
constexpr std::uint16_t kEpbFlags = 2;

// Block type, block total length, and the total length again at the end.
constexpr std::size_t kBlockFrame = 12;
// An option's code and length; its value follows, padded to 32 bits.
constexpr std::size_t kOptionHeader = 4;
// An option's length is 16 bits wide.
constexpr std::size_t kMaxOptionValue = 0xFFFF;

constexpr std::size_t Padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// The longest prefix of `text` that fits an option and does not cut a UTF-8 character in two.
std::string_view OptionText(std::string_view text) {
  if (text.size() <= kMaxOptionValue) return text;
  std::size_t cut = kMaxOptionValue;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

constexpr std::size_t OptionSize(std::size_t valueLength) {
  return kOptionHeader + Padded(valueLength);
}
std::size_t TextOptionSize(std::string_view text) {
  return text.empty() ? 0 : OptionSize(OptionText(text).size());
}

// Appends little-endian values and padded options to a block under construction. The block's
// size is computed beforehand, so nothing here checks for room.
class BlockBuilder {
 public:
  explicit BlockBuilder(std::uint8_t* at) : at_(at) {}

  void U16(std::uint16_t v) {
    at_[0] = static_cast<std::uint8_t>(v);
    at_[1] = static_cast<std::uint8_t>(v >> 8);
    at_ += 2;
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at_[i] = static_cast<std::uint8_t>(v >> (8 * i));
    at_ += 4;
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Bytes(const void* data, std::size_t n) {
    if (n != 0) std::memcpy(at_, data, n);
    at_ += n;
  }
  void Pad(std::size_t written) {
    const std::size_t n = Padded(written) - written;
    std::memset(at_, 0, n);
    at_ += n;
  }
  void Option(std::uint16_t code, const void* value, std::size_t n) {
    U16(code);
    U16(static_cast<std::uint16_t>(n));
    Bytes(value, n);
    Pad(n);
  }
  void TextOption(std::uint16_t code, std::string_view text) {
    if (text.empty()) return;
    text = OptionText(text);
    Option(code, text.data(), text.size());
  }
  void EndOfOptions() { U32(kOptEndOfOpt); }

 private:
  std::uint8_t* at_;
};

}  // namespace

PcapngWriter::PcapngWriter() : toMemory_(true), buffer_(kBufferSize) {}

PcapngWriter::PcapngWriter(std::FILE* file) : file_(file), buffer_(kBufferSize) {}

PcapngWriter::~PcapngWriter() { (void)Flush(); }

std::uint8_t* PcapngWriter::StartBlock(std::size_t size) {
  if (buffer_.size() - length_ < size) {
    HandOver();
    // A block larger than the whole buffer (long comments) gets a buffer of its own size.
    if (buffer_.size() < size) buffer_.resize(size);
  }
  std::uint8_t* at = buffer_.data() + length_;
  length_ += size;
  return at;
}

void PcapngWriter::SectionHeader(std::string_view userAppl) {
  const std::size_t size = kBlockFrame + 16 + TextOptionSize(userAppl) + kOptionHeader;
  BlockBuilder block(StartBlock(size));
  block.U32(kSectionHeaderBlock);
  block.U32(static_cast<std::uint32_t>(size));
  block.U32(kByteOrderMagic);
  block.U16(1);                  // major version
  block.U16(0);                  // minor version
  block.U64(~std::uint64_t{0});  // section length not given
  block.TextOption(kShbUserAppl, userAppl);
  block.EndOfOptions();
  block.U32(static_cast<std::uint32_t>(size));
}

void PcapngWriter::InterfaceDescription(std::uint16_t linkType, std::string_view name,
                                        std::string_view description, std::uint32_t snapLen) {
  const std::size_t size = kBlockFrame + 8 + TextOptionSize(name) + TextOptionSize(description) +
                           OptionSize(1) + kOptionHeader;
  BlockBuilder block(StartBlock(size));
  block.U32(kInterfaceDescriptionBlock);
  block.U32(static_cast<std::uint32_t>(size));
  block.U16(linkType);
  block.U16(0);  // reserved
  block.U32(snapLen);
  block.TextOption(kIfName, name);
  block.TextOption(kIfDescription, description);
  const std::uint8_t nanoseconds = 9;
  block.Option(kIfTsResol, &nanoseconds, 1);
  block.EndOfOptions();
  block.U32(static_cast<std::uint32_t>(size));
}

void PcapngWriter::EnhancedPacket(const PcapngPacket& packet) {
  const std::size_t captured = packet.head.size() + packet.data.size();
  std::size_t size = kBlockFrame + 20 + Padded(captured) + OptionSize(4) + kOptionHeader;
  for (const std::string& comment : packet.comments) size += TextOptionSize(comment);

  BlockBuilder block(StartBlock(size));
  block.U32(kEnhancedPacketBlock);
  block.U32(static_cast<std::uint32_t>(size));
  block.U32(0);  // interface
  block.U32(static_cast<std::uint32_t>(packet.timestampNs >> 32));
  block.U32(static_cast<std::uint32_t>(packet.timestampNs));
  block.U32(static_cast<std::uint32_t>(captured));
  block.U32(static_cast<std::uint32_t>(captured));  // original length
  block.Bytes(packet.head.data(), packet.head.size());
  block.Bytes(packet.data.data(), packet.data.size());
  block.Pad(captured);
  std::uint8_t flags[4];
  for (int i = 0; i < 4; ++i) flags[i] = static_cast<std::uint8_t>(packet.flags >> (8 * i));
  block.Option(kEpbFlags, flags, sizeof flags);
  for (const std::string& comment : packet.comments) block.TextOption(kOptComment, comment);
  block.EndOfOptions();
  block.U32(static_cast<std::uint32_t>(size));
}

bool PcapngWriter::Flush() {
  HandOver();
  if (file_ != nullptr && !writeFailed_ && std::fflush(file_) != 0) {
    writeFailed_ = true;
    writeErrno_ = errno;
  }
  return !writeFailed_;
}

void PcapngWriter::HandOver() {
  if (length_ == 0) return;
  if (toMemory_) {
    memory_.insert(memory_.end(), buffer_.begin(), buffer_.begin() + length_);
  } else if (file_ != nullptr && !writeFailed_) {
    errno = 0;
    const std::size_t written = std::fwrite(buffer_.data(), 1, length_, file_);
    if (written != length_) {
      writeFailed_ = true;
      writeErrno_ = errno;
      wholeBytes_ += WholeBlocksIn(written);
    } else {
      wholeBytes_ += length_;
    }
  }
  // After a failed write the rest is dropped: the file keeps what the system took.
  length_ = 0;
}

std::size_t PcapngWriter::WholeBlocksIn(std::size_t written) const {
  // Each block's total length stands at its offset 4; the buffer holds whole blocks only.
  std::size_t whole = 0;
  while (whole + 8 <= length_) {
    const std::uint8_t* at = buffer_.data() + whole + 4;
    const std::size_t size = std::size_t{at[0]} | std::size_t{at[1]} << 8 |
                             std::size_t{at[2]} << 16 | std::size_t{at[3]} << 24;
    if (size < kBlockFrame || size > length_ - whole || size > written - whole) break;
    whole += size;
  }
  return whole;
}

}  // namespace fdc
