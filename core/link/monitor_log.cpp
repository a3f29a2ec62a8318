#include "core/link/monitor_log.h"

#include <algorithm>

namespace tkr::link {

void MonitorLog::appendHeader(std::string_view header) {
  ++serial_;
  records_.push_back({});
  append(std::string(header) + "\r\n");
}

void MonitorLog::append(const std::string& text) {
  if (records_.empty()) records_.push_back({});
  Record& last = records_.back();
  last.chars += text.size();
  last.lines += static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  size_ += text.size();
  if (box_) box_->append(text);
  if (size_ > kLimit) trim();
}

void MonitorLog::trim() {
  std::size_t lines = 0;
  // The newest record always stays, however long it is.
  while (size_ > kTrimTo && records_.size() > 1) {
    size_ -= records_.front().chars;
    lines += records_.front().lines;
    records_.pop_front();
  }
  if (box_ && lines > 0) box_->removeLeadingLines(lines);
}

void MonitorLog::clear() {
  ++serial_;
  records_.clear();
  size_ = 0;
  if (box_) box_->clear();
}

}  // namespace tkr::link
