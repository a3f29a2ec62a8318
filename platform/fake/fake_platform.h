#pragma once
// Test doubles for the console's platform: timers on the virtual clock, a serial port whose
// far end is any LineDevice, message boxes and windows that only record what happened.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/protocol/bytes.h"
#include "platform/controls.h"
#include "platform/fake/fake_loop.h"
#include "platform/forms.h"
#include "platform/plain_controls.h"
#include "platform/serial_port.h"
#include "platform/shell.h"
#include "platform/timer.h"

namespace tkr::platform::fake {

class FakeTimer : public Timer {
 public:
  explicit FakeTimer(FakeLoop& loop) : loop_(loop) {}
  void setInterval(int ms) override;
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }

 private:
  void arm();
  void disarm();
  FakeLoop& loop_;
  int interval_ = 0;
  bool enabled_ = false;
  std::optional<std::uint64_t> pending_;
};

class FakeSerialPort;

// Whatever sits at the far end of a fake serial line (the reader simulator, a scripted peer).
class LineDevice {
 public:
  virtual ~LineDevice() = default;
  virtual void hostOpened(FakeSerialPort& port) = 0;
  virtual void hostClosed() = 0;
  // Bytes the host wrote; `at` is when the last of them has crossed the line.
  virtual void hostWrote(const Bytes& data, Micros at) = 0;
};

class FakeSerialPort : public SerialPort {
 public:
  explicit FakeSerialPort(FakeLoop& loop) : loop_(loop) {}

  // Puts a device on COMn; a number without one fails to open.
  void attach(int port, LineDevice* device) { devices_[port] = device; }
  void detach(int port) { devices_.erase(port); }

  void setCommPort(int port) override { commPort_ = port; }
  int commPort() const override { return commPort_; }
  void setSettings(const std::string& s) override { settings_ = s; }
  std::string settings() const override { return settings_; }
  void setHandshaking(int mode) override { handshaking_ = mode; }
  int handshaking() const override { return handshaking_; }
  bool portOpen() const override { return open_; }
  bool setPortOpen(bool open) override;
  std::string lastOpenError() const override { return lastOpenError_; }
  void output(const Bytes& data) override;
  Bytes input() override;
  int inBufferCount() const override { return static_cast<int>(inBuffer_.size()); }
  void discardInput() override { inBuffer_.clear(); }
  int commEvent() const override { return event_; }

  // ---- the far end's side ----
  // Bytes arriving at the host now: appended to the receive buffer, then OnComm.
  void deliver(const Bytes& data);
  // Raises a communication event without data (handshake lines, framing error...).
  void raise(int event);
  // The device vanished under an open port: the port closes and reports it.
  void vanish();

  // Everything written while open, in order, and each write on its own.
  const Bytes& written() const { return written_; }
  const std::vector<Bytes>& writes() const { return writes_; }
  // Everything the far end delivered while the port was open, in order.
  const Bytes& delivered() const { return delivered_; }
  int opens() const { return opens_; }
  // Transfer time of one character at the current settings.
  Micros characterTime() const;
  // Open attempts fail with this reason while it is set (also for attached devices).
  std::string openError;
  // Close attempts fail while set.
  bool failClose = false;

 private:
  FakeLoop& loop_;
  std::map<int, LineDevice*> devices_;
  LineDevice* connected_ = nullptr;
  int commPort_ = 1;
  std::string settings_ = "9600,n,8,1";
  int handshaking_ = comNone;
  bool open_ = false;
  Bytes inBuffer_;
  int event_ = 0;
  Micros lineFreeAt_ = 0;
  Bytes written_;
  Bytes delivered_;
  std::vector<Bytes> writes_;
  int opens_ = 0;
  std::string lastOpenError_;
};

struct ShownBox {
  std::string text;
  std::string title;
  MsgIcon icon;
  Micros at;
};

struct ProgramEnded {
  int status;
};

class FakeShell : public Shell {
 public:
  explicit FakeShell(FakeLoop& loop) : loop_(loop) {}
  void messageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
  [[noreturn]] void endProgram(int status) override { throw ProgramEnded{status}; }
  std::vector<ShownBox> boxes;

 private:
  FakeLoop& loop_;
};

class FakeForms : public Forms {
 public:
  void show(FormId form) override;
  void load(FormId form) override;
  void unload(FormId form) override;
  bool loaded(FormId form) const override { return loaded_.count(form) != 0; }
  bool visible(FormId form) const { return visible_.count(form) != 0; }

  // Load/unload handlers of the forms, as the windows would run them.
  std::map<FormId, std::function<void()>> onLoad;
  std::map<FormId, std::function<void()>> onUnload;

 private:
  std::map<FormId, bool> loaded_;
  std::map<FormId, bool> visible_;
};

// Plain property storage for any control kind.
template <class Base>
using FakeControlOf = PlainControlOf<Base>;
using FakeControl = PlainControl;
using FakeCheck = PlainCheck;
using FakeLog = PlainLog;
using FakeProgress = PlainProgress;

}  // namespace tkr::platform::fake
