// Runs of frames for the tests of the statistics and the DP layer: frames built with their
// checks, steps with the idle time before each, a capture file of them and the figures of a run.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/bus_statistics.h"
#include "tests/support/test_support.h"

namespace fdc::test::steps {

using test::CaptureBytes;
using test::TempDir;
using test::WriteRun;
using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t Check(const Bytes& body) {
  unsigned sum = 0;
  for (std::uint8_t b : body) sum += b;
  return static_cast<std::uint8_t>(sum);
}

inline Bytes Sd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc) {
  return {kSd1, da, sa, fc, Check({da, sa, fc}), kEd};
}
inline Bytes Sd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, Bytes unit) {
  Bytes body = {da, sa, fc};
  body.insert(body.end(), unit.begin(), unit.end());
  const auto le = static_cast<std::uint8_t>(body.size());
  Bytes frame = {kSd2, le, le, kSd2};
  frame.insert(frame.end(), body.begin(), body.end());
  frame.push_back(Check(body));
  frame.push_back(kEd);
  return frame;
}
inline Bytes Token(std::uint8_t da, std::uint8_t sa) { return {kSd4, da, sa}; }
inline const Bytes kSc = {0xe5};

// Requests and responses of master 1 and slave 5.
inline const Bytes kSrd = Sd1(5, 1, 0x7d);        // SRDH, FCB set: expects a reply
inline const Bytes kSrdOther = Sd1(5, 1, 0x5d);   // the same with the FCB toggled
inline const Bytes kReply = Sd1(1, 5, 0x08);      // DL
inline const Bytes kPoll = Sd1(5, 1, 0x49);       // RFDL: the status poll
inline const Bytes kSendNoAck = Sd1(5, 1, 0x44);  // SDNL: expects no reply

struct Step {
  Bytes frame;
  std::int64_t gapBits;  // idle bit times before the frame (any sign)
  std::uint8_t status = 0;
  std::int64_t extraTicks = 0;
};

// A capture file of the steps at one baud code (1M5: 16 ticks per bit), its first frame
// `startTicks` plus its gap after 0.
inline CaptureBytes FileOf(const std::vector<Step>& steps, std::uint16_t baudCode = 4,
                           std::int64_t startTicks = 1000) {
  const std::int64_t k = baudCode == 1 ? 4 : baudCode == 2 ? 8 : 16;
  CaptureBytes file(baudCode);
  std::int64_t end = startTicks;
  for (const Step& step : steps) {
    const std::int64_t t = end + step.gapBits * k + step.extraTicks;
    file.Record(static_cast<std::uint64_t>(t), step.frame, step.status);
    end = t + 11 * k * static_cast<std::int64_t>(step.frame.size());
  }
  return file;
}

// The figures of a run of these files, read to its end.
inline BusFigures FiguresOfRun(const std::vector<CaptureBytes>& files,
                               BusStatisticsOptions options = {}) {
  TempDir dir;
  WriteRun(dir, files);
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.count = static_cast<std::uint32_t>(files.size());
  BusStatistics statistics(options);
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  RecordConsumer* const consumers[] = {&statistics};
  const Result result = loop.Run(consumers);
  EXPECT_TRUE(result.ok()) << result.ErrorText();
  return statistics.TakeFigures();
}

// The run of the steps at one baud code (slot time 300 bits at 1M5), in one capture file.
inline BusFigures FiguresOf(const std::vector<Step>& steps, std::uint16_t baudCode = 4,
                            BusStatisticsOptions options = {}) {
  return FiguresOfRun({FileOf(steps, baudCode)}, options);
}

inline const StationFigures* StationOf(const BusFigures& f, std::uint8_t address) {
  for (const StationFigures& s : f.stations) {
    if (s.address == address) return &s;
  }
  return nullptr;
}

}  // namespace fdc::test::steps
