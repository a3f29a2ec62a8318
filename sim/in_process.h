#pragma once
// The reader on a fake serial port, on the virtual clock: it takes each command when its last
// byte has crossed the line, answers after a processing delay, and sends its answer the way a
// UART does, one byte per character time, each byte a delivery of its own.
#include <cstdint>
#include <functional>
#include <map>

#include "platform/fake/fake_platform.h"
#include "sim/reader_model.h"

namespace tkr::sim {

using platform::fake::Micros;

class InProcessReader : public platform::fake::LineDevice {
 public:
  static constexpr Micros kDefaultReplyDelay = 2 * platform::fake::kMs;

  explicit InProcessReader(platform::fake::FakeLoop& loop, std::uint32_t seed = 1);
  // Destroy the reader before the port it is attached to.
  ~InProcessReader() override;
  InProcessReader(const InProcessReader&) = delete;
  InProcessReader& operator=(const InProcessReader&) = delete;

  // Plugs the reader into COM`portNumber` of `port`.
  void attachTo(platform::fake::FakeSerialPort& port, int portNumber);

  ReaderModel& model() { return model_; }
  const ReaderModel& model() const { return model_; }
  const std::vector<Bytes>& received() const { return model_.commands(); }

  // A card passes the heads now; its data goes out at once if the host listens.
  void swipe(const Card& card);
  void setFault(Fault fault) { model_.setFault(fault); }
  // ReaderModel::vanishAfter: the answer's last byte lands, then the reader is unplugged.
  void vanishAfter(const Bytes& code) { model_.vanishAfter(code); }

  // The cable is pulled: an open port reports the device lost, and the port number cannot
  // be opened until replug().
  void unplug();
  void replug();
  bool plugged() const { return plugged_; }
  // True while the host has the reader's port open.
  bool hostOpen() const { return hostOpen_; }

  // Time from a command's last byte to the answer's first bit; large values make late replies.
  void setReplyDelay(Micros delay) { replyDelay_ = delay; }
  Micros replyDelay() const { return replyDelay_; }
  // Extra idle time between the bytes of one answer (a reader answering byte by byte).
  void setByteGap(Micros gap) { byteGap_ = gap; }

  void hostOpened(platform::fake::FakeSerialPort& port) override;
  void hostClosed() override;
  void hostWrote(const Bytes& data, Micros arrived) override;

 private:
  void at(Micros when, std::function<void()> fn);
  void cancelAll();
  bool hostListens() const;
  void transmit(const Bytes& bytes, Micros start);

  platform::fake::FakeLoop& loop_;
  platform::fake::FakeSerialPort* port_ = nullptr;
  int portNumber_ = 0;
  ReaderModel model_;
  bool plugged_ = false;
  bool hostOpen_ = false;
  bool vanishing_ = false;  // its last answer is on the way: it hears nothing more
  // Bumped at each open and close: answers meant for an earlier opening are dropped.
  std::uint64_t session_ = 0;
  Micros replyDelay_ = kDefaultReplyDelay;
  Micros byteGap_ = 0;
  Micros txFreeAt_ = 0;
  Micros lastHeardAt_ = 0;
  std::uint64_t nextToken_ = 0;
  std::map<std::uint64_t, std::uint64_t> scheduled_;  // our token -> loop event id
};

}  // namespace tkr::sim
