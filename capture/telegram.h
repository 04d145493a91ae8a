// DissectTelegram: the one decoder of an FDL telegram. It decides the frame's kind, whether the
// frame passes its kind's length checks (and which mark the dump shows when it does not), and
// where DA, SA, FC, the SAPs, the data unit, FCS and ED lie. The dump prints from its result; the
// statistics, the export and the desktop table classify from it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "capture/capture_format.h"
#include "capture/fdl_protocol.h"

namespace fdc {

// Why a frame does not decode, in the order of the dump's checks.
enum class FrameMark : std::uint8_t {
  kNone,       // the frame passes its checks
  kLength,     // SD1, SD4 or SC of the wrong length: "Len(%u)? "
  kSd2Length,  // SD2 shorter than 9 bytes: "SD2 Len(%u)? "
  kSd3Length,  // SD3 not of 14 bytes: "SD3 Len(%u)? "
  kLe,         // SD2 whose LE is not the length less 6: "SD2 LE?(%u) "
  kLer,        // SD2 whose LEr differs from LE: "SD2 LEr? "
  kSecondSd,   // SD2 whose fourth byte is not the delimiter again: "SD2r? "
  kUnknownSd,  // a first byte of no known kind: "SD?%02x "
};

struct Telegram {
  FrameKind kind = FrameKind::kUnknown;
  // The byte that chose the kind: the first frame byte, or for an empty frame the status byte,
  // which then stands at position 0.
  std::uint8_t delimiter = 0;
  std::uint8_t frameLen = 0;
  std::uint8_t status = 0;
  FrameMark mark = FrameMark::kNone;

  // Filled when the frame decodes. SD4 has addresses only; SC has no field at all.
  std::uint8_t da = 0;  // raw bytes, the extension bit included
  std::uint8_t sa = 0;
  std::uint8_t fc = 0;
  std::uint8_t dsap = 0;  // 0 when absent
  std::uint8_t ssap = 0;
  bool hasDsap = false;  // the extension bit is set and the data unit holds the byte
  bool hasSsap = false;
  std::uint8_t bodyPos = 0;  // position of DA (SD1, SD2, SD3)
  std::uint8_t dataPos = 0;  // position of the first data byte after the SAPs
  std::uint8_t dataLen = 0;  // data bytes after the SAPs
  std::uint8_t fcsPos = 0;   // FCS at fcsPos, ED after it
  std::uint8_t fcs = 0;
  std::uint8_t ed = 0;

  bool Empty() const { return frameLen == 0; }
  bool Decoded() const { return mark == FrameMark::kNone; }
  // Decoded SD1, SD2 or SD3: a frame with DA, SA, FC, FCS and ED.
  bool HasBody() const {
    return Decoded() &&
           (kind == FrameKind::kSd1 || kind == FrameKind::kSd2 || kind == FrameKind::kSd3);
  }
  // Decoded SD1, SD2, SD3 or SD4.
  bool HasAddresses() const { return HasBody() || (Decoded() && kind == FrameKind::kSd4); }
  std::uint8_t Da() const { return da & kAddressMask; }
  std::uint8_t Sa() const { return sa & kAddressMask; }
  bool IsRequest() const { return (fc & kFcRequest) != 0; }
};

namespace telegram_detail {

// The dissector runs once for every record on the hot path: inlined where it is called, also
// where a compiler would rather keep one copy for its several callers.
#if defined(__GNUC__)
#define FDC_HOT_INLINE __attribute__((always_inline)) inline
#else
#define FDC_HOT_INLINE inline
#endif

// SD1, SD2 and SD3 carry a body from DA to ED of at least five bytes. A SAP byte is taken only
// where the data unit still holds one: a frame whose extension bits call for more SAP bytes than
// it has gets those it has, and no data.
FDC_HOT_INLINE void DissectBody(ByteView record, std::uint8_t bodyPos, std::uint8_t bodyLen,
                                Telegram& t) {
  t.bodyPos = bodyPos;
  t.da = record.U8(bodyPos);
  t.sa = record.U8(bodyPos + 1u);
  t.fc = record.U8(bodyPos + 2u);
  unsigned count = bodyLen - 5u;
  unsigned pos = bodyPos + 3u;
  if ((t.da & kSapExtension) && count > 0) {
    t.hasDsap = true;
    t.dsap = record.U8(pos++);
    --count;
  }
  if ((t.sa & kSapExtension) && count > 0) {
    t.hasSsap = true;
    t.ssap = record.U8(pos++);
    --count;
  }
  t.dataPos = static_cast<std::uint8_t>(pos);
  t.dataLen = static_cast<std::uint8_t>(count);
  t.fcsPos = static_cast<std::uint8_t>(pos + count);
  t.fcs = record.U8(t.fcsPos);
  t.ed = record.U8(t.fcsPos + 1u);
}

}  // namespace telegram_detail

// `record` holds the frameLen frame bytes followed by the status byte. Inline: the record loop
// dissects every record, and the printer reads the result at once.
inline void DissectTelegram(ByteView record, std::uint8_t frameLen, Telegram& t) {
  t = Telegram{};
  t.frameLen = frameLen;
  t.status = record.U8(frameLen);
  // An empty frame: its status byte stands at position 0 and picks the kind, whose length check
  // then fails.
  t.delimiter = record.U8(0);
  t.kind = FrameKindOf(t.delimiter);
  // Tests in the order of how often each kind comes on a busy bus, as conditional branches: the
  // kind changes from record to record, which a jump table's single indirect branch predicts
  // badly.
  if (t.kind == FrameKind::kSd2) {
    if (frameLen < 9) {
      t.mark = FrameMark::kSd2Length;
    } else if (record.U8(1) != frameLen - 6) {
      t.mark = FrameMark::kLe;
    } else if (record.U8(2) != record.U8(1)) {
      t.mark = FrameMark::kLer;
    } else if (record.U8(3) != kSd2) {
      t.mark = FrameMark::kSecondSd;
    } else {
      telegram_detail::DissectBody(record, 4, static_cast<std::uint8_t>(frameLen - 4), t);
    }
  } else if (t.kind == FrameKind::kSc) {
    if (frameLen != 1) t.mark = FrameMark::kLength;
  } else if (t.kind == FrameKind::kSd4) {
    if (frameLen == 3) {
      t.da = record.U8(1);
      t.sa = record.U8(2);
    } else {
      t.mark = FrameMark::kLength;
    }
  } else if (t.kind == FrameKind::kSd1) {
    if (frameLen == 6) {
      telegram_detail::DissectBody(record, 1, 5, t);
    } else {
      t.mark = FrameMark::kLength;
    }
  } else if (t.kind == FrameKind::kSd3) {
    if (frameLen == 14) {
      telegram_detail::DissectBody(record, 1, 13, t);
    } else {
      t.mark = FrameMark::kSd3Length;
    }
  } else {
    t.mark = FrameMark::kUnknownSd;
  }
}

inline Telegram DissectTelegram(ByteView record, std::uint8_t frameLen) {
  Telegram telegram;
  DissectTelegram(record, frameLen, telegram);
  return telegram;
}

// The dump's mark of a frame that does not decode, without its trailing blank: "Len(5)?",
// "SD2 Len(8)?", "SD3 Len(13)?", "SD2 LE?(10)", "SD2 LEr?", "SD2r?", "SD?42". Empty for a frame
// that decodes. The text lies in `buffer`.
using FrameMarkBuffer = std::array<char, 16>;
std::string_view FrameMarkText(const Telegram& telegram, FrameMarkBuffer& buffer);

// The frame check of a frame with a body: the sum of its bytes from DA to the last data byte,
// modulo 256.
std::uint8_t FrameCheckSum(ByteView record, const Telegram& telegram);
inline bool FcsMatches(ByteView record, const Telegram& telegram) {
  return FrameCheckSum(record, telegram) == telegram.fcs;
}

// A faulty record, as the desktop's table colours it and "faults only" selects it: a status bit,
// a frame that does not decode, a wrong FCS or ED. Every other record is a valid frame.
inline bool IsFaulty(const Telegram& t, ByteView record) {
  if (t.status != 0 || !t.Decoded()) return true;
  return t.HasBody() && (t.ed != kEd || !FcsMatches(record, t));
}

}  // namespace fdc
