#pragma once
// The console's serial control over QSerialPort: COMn opens the device the PortMap gives it.
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/qt/port_map.h"
#include "platform/serial_port.h"

namespace tkr::platform::qt {

class QtSerialPort : public QObject, public SerialPort {
  Q_OBJECT

 public:
  explicit QtSerialPort(PortMap map, QObject* parent = nullptr);
  ~QtSerialPort() override;

  void setCommPort(int port) override { commPort_ = port; }
  int commPort() const override { return commPort_; }
  // Applies at once to an open port when the text is valid.
  void setSettings(const std::string& settings) override;
  std::string settings() const override { return settings_; }
  void setHandshaking(int mode) override;
  int handshaking() const override { return handshaking_; }

  bool portOpen() const override { return port_.isOpen() && !lost_; }
  [[nodiscard]] bool setPortOpen(bool open) override;
  std::string lastOpenError() const override { return openError_; }

  void output(const Bytes& data) override;
  Bytes input() override;
  int inBufferCount() const override;
  void discardInput() override;
  int commEvent() const override { return event_; }

  const PortMap& portMap() const { return map_; }
  void setPortMap(PortMap map) { map_ = std::move(map); }
  // Why the last open or close failed, for diagnostics.
  QString lastError() const { return lastError_; }
  // The device the last open attempt used (empty when the number had none).
  QString device() const { return device_; }
  // Called after every attempt to open, with its outcome.
  std::function<void(bool opened)> onOpenAttempt;
  // The device underneath, for diagnostics and tests; the console uses the operations above.
  QSerialPort& serialPort() { return port_; }

 private:
  bool open();
  bool close();
  bool applySettings();
  void onReadyRead();
  void reportReceive();
  std::uint64_t arrived() const;
  void onError(QSerialPort::SerialPortError error);
  void raise(int event);

  PortMap map_;
  QSerialPort port_;
  int commPort_ = 1;
  std::string settings_ = "9600,n,8,1";
  int handshaking_ = comNone;
  int event_ = 0;
  QString device_;
  QString lastError_;
  std::string openError_;
  bool busy_ = false;           // opening or closing: errors are the call's result, not events
  bool lost_ = false;           // the device vanished; the port closes from the event loop
  unsigned generation_ = 0;     // counts opens, so a late device-lost close spares a new open
  std::uint64_t consumed_ = 0;  // bytes taken out by input() and discardInput()
  std::uint64_t reported_ = 0;  // arrived() when the last receive event was raised
  bool recheckQueued_ = false;
  bool reportQueued_ = false;
};

}  // namespace tkr::platform::qt
