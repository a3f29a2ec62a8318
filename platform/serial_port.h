#pragma once
// What the console asks of its serial communications control: the MSComm operations.
#include <functional>
#include <string>

#include "core/protocol/bytes.h"

namespace tkr::platform {

// Communication events, with the control's numbering.
enum CommEvent : int {
  comEvSend = 1,
  comEvReceive = 2,
  comEvCTS = 3,
  comEvDSR = 4,
  comEvCD = 5,
  comEvRing = 6,
  comEventBreak = 1001,
  comEventFrame = 1004,
  comEventOverrun = 1006,
  comEventRxOver = 1008,
  comEventRxParity = 1009,
  comEventDeviceLost = 1100,  // the device vanished (pseudo-terminal closed, USB unplugged)
};

enum Handshaking : int { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void setCommPort(int port) = 0;
  virtual int commPort() const = 0;
  virtual void setSettings(const std::string& settings) = 0;
  virtual std::string settings() const = 0;
  virtual void setHandshaking(int mode) = 0;  // applies at once when the port is open
  virtual int handshaking() const = 0;

  virtual bool portOpen() const = 0;
  // Opens or closes the port; false when the platform reports an error (the state then
  // stays as it was, except that a vanished device counts as closed).
  [[nodiscard]] virtual bool setPortOpen(bool open) = 0;
  // Why the last attempt to open failed, in one short line for the operator ("permission
  // denied: ..."); empty once an open has succeeded.
  virtual std::string lastOpenError() const = 0;

  // Writes the bytes unchanged; does nothing on a closed port.
  virtual void output(const Bytes& data) = 0;
  // Reads and removes every byte waiting in the receive buffer.
  virtual Bytes input() = 0;
  virtual int inBufferCount() const = 0;
  // InBufferCount := 0: discards every byte not yet read.
  virtual void discardInput() = 0;

  // The event being reported, valid inside onComm.
  virtual int commEvent() const = 0;

  // Raised from the event loop for each communication event (OnComm).
  std::function<void()> onComm;
};

}  // namespace tkr::platform
