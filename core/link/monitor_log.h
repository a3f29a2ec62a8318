#pragma once
// Keeps the monitor bounded: appends in time proportional to the new text and drops the
// oldest whole records once the text passes the limit.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/controls.h"

namespace tkr::link {

class MonitorLog {
 public:
  // Past kLimit characters the oldest records are dropped until kTrimTo remain, so a long
  // session costs amortised constant time per byte.
  static constexpr std::size_t kLimit = 1 << 20;
  static constexpr std::size_t kTrimTo = kLimit * 3 / 4;

  void attach(platform::LogControl* box) { box_ = box; }
  // A header line starts a new record.
  void appendHeader(std::string_view header);
  void append(const std::string& text);
  void clear();
  std::size_t size() const { return size_; }
  // Changes with every new record and every clearing, so a writer that adds lines to a record
  // over time can tell whether that record is still the newest.
  std::uint64_t recordSerial() const { return serial_; }

 private:
  struct Record {
    std::size_t chars = 0;
    std::size_t lines = 0;
  };
  void trim();

  platform::LogControl* box_ = nullptr;
  std::deque<Record> records_;
  std::size_t size_ = 0;
  std::uint64_t serial_ = 0;
};

}  // namespace tkr::link
