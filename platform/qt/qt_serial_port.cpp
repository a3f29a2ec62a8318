#include "platform/qt/qt_serial_port.h"

#include <QFile>
#include <QMetaObject>

#include "core/protocol/line_settings.h"
#include "platform/qt/port_listing.h"

namespace tkr::platform::qt {

namespace {

constexpr qint64 kReadBufferBytes =
    qint64{4} * 1024;  // as much of a reception as the console keeps

QSerialPort::Parity ToParity(char letter) {
  switch (letter) {
    case 'e':
      return QSerialPort::EvenParity;
    case 'o':
      return QSerialPort::OddParity;
    case 'm':
      return QSerialPort::MarkParity;
    case 's':
      return QSerialPort::SpaceParity;
    default:
      return QSerialPort::NoParity;
  }
}

QSerialPort::FlowControl ToFlowControl(int handshaking) {
  switch (handshaking) {
    case comXOnXoff:
      return QSerialPort::SoftwareControl;
    case comRTS:
    case comRTSXOnXOff:
      return QSerialPort::HardwareControl;  // no combined mode on this side
    default:
      return QSerialPort::NoFlowControl;
  }
}

// Whether the device is still there; a vanished one fails its reads, writes and close.
bool DevicePresent(const QString& device) {
  return QFile::exists(device);
}

}  // namespace

QtSerialPort::QtSerialPort(PortMap map, QObject* parent) : QObject(parent), map_(std::move(map)) {
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
  onComm = nullptr;  // nothing is reported while the object goes away
  busy_ = true;
  port_.close();
}

void QtSerialPort::setSettings(const std::string& settings) {
  settings_ = settings;
  if (portOpen()) applySettings();
}

void QtSerialPort::setHandshaking(int mode) {
  handshaking_ = mode;
  if (portOpen()) port_.setFlowControl(ToFlowControl(mode));
}

bool QtSerialPort::applySettings() {
  const auto parsed = protocol::ParseSettings(settings_);
  if (!parsed) return false;
  const auto dataBits = parsed->dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8;
  const auto stopBits = parsed->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
  bool ok = port_.setBaudRate(parsed->baud);
  ok = port_.setParity(ToParity(parsed->parity)) && ok;
  ok = port_.setDataBits(dataBits) && ok;
  ok = port_.setStopBits(stopBits) && ok;
  ok = port_.setFlowControl(ToFlowControl(handshaking_)) && ok;
  return ok;
}

bool QtSerialPort::setPortOpen(bool open) {
  if (open == portOpen()) {
    if (!open && port_.isOpen()) close();  // the device was lost: finish the close quietly
    return true;
  }
  if (!open) return close();
  const bool opened = this->open();
  if (opened) openError_.clear();
  if (onOpenAttempt) onOpenAttempt(opened);
  return opened;
}

bool QtSerialPort::open() {
  if (port_.isOpen()) close();  // a lost device whose close has not run yet
  const auto device = map_.deviceFor(commPort_);
  if (!device) {
    device_.clear();
    lastError_ = QStringLiteral("COM%1 has no device").arg(commPort_);
    openError_ = AccessReason({PortAccess::NoDevice, {}});
    return false;
  }
  device_ = QString::fromStdString(*device);
  busy_ = true;
  port_.setPortName(device_);
  // A bounded buffer leaves the rest of a flood in the driver, which holds the sender back,
  // instead of in this process's memory.
  port_.setReadBufferSize(kReadBufferBytes);
  bool ok = applySettings();
  if (!ok) {
    lastError_ = QStringLiteral("invalid settings \"%1\"").arg(QString::fromStdString(settings_));
    openError_ = lastError_.toStdString();
  } else if (!port_.open(QIODevice::ReadWrite)) {
    // Includes line settings the driver refuses: QSerialPort applies them while opening.
    lastError_ = port_.errorString();
    openError_ = AccessReason(ClassifyOpenFailure(*device, port_.error(), lastError_));
    ok = false;
  }
  port_.clearError();
  busy_ = false;
  if (!ok) return false;
  lost_ = false;
  ++generation_;
  event_ = 0;
  consumed_ = reported_ = 0;
  return true;
}

bool QtSerialPort::close() {
  const bool wasLost = lost_;
  busy_ = true;
  port_.clearError();
  port_.close();
  const auto error = port_.error();
  port_.clearError();
  busy_ = false;
  lost_ = false;
  // A device that is already gone cannot restore its line settings: that is no close error.
  const bool gone = wasLost || error == QSerialPort::ResourceError ||
                    error == QSerialPort::NotOpenError || !DevicePresent(device_);
  if (error != QSerialPort::NoError && !gone) {
    lastError_ = port_.errorString();
    return false;
  }
  return true;
}

void QtSerialPort::output(const Bytes& data) {
  if (!portOpen() || data.empty()) return;
  port_.write(QByteArray(data.data(), static_cast<qsizetype>(data.size())));
  // QSerialPort only queues the bytes for its write notifier; flush() hands them to the driver
  // now, so a command is on the wire before the caller starts its reply time-out.
  port_.flush();
}

Bytes QtSerialPort::input() {
  if (!portOpen()) return {};
  const QByteArray data = port_.readAll();
  consumed_ += static_cast<std::uint64_t>(data.size());
  return Bytes(data.constData(), static_cast<std::size_t>(data.size()));
}

int QtSerialPort::inBufferCount() const {
  return portOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

void QtSerialPort::discardInput() {
  if (!portOpen()) return;
  consumed_ += static_cast<std::uint64_t>(port_.bytesAvailable());
  port_.clear(QSerialPort::Input);
  consumed_ += static_cast<std::uint64_t>(port_.readAll().size());
}

std::uint64_t QtSerialPort::arrived() const {
  return consumed_ + static_cast<std::uint64_t>(port_.bytesAvailable());
}

void QtSerialPort::onReadyRead() {
  if (lost_ || busy_ || reportQueued_) return;
  // The console's handler pumps events and may wait for a reply inside them. Run from this
  // slot, it would keep QSerialPort from announcing anything more until it returned: with a
  // bounded read buffer the line would stall for the whole wait. From the loop, later
  // arrivals are announced as usual.
  reportQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        reportQueued_ = false;
        if (portOpen() && port_.bytesAvailable() > 0) reportReceive();
      },
      Qt::QueuedConnection);
}

void QtSerialPort::reportReceive() {
  reported_ = arrived();
  raise(comEvReceive);
  // QSerialPort emits no readyRead while a readyRead slot runs, and the console's handler
  // pumps events: bytes that came in meanwhile would sit unreported, and a reception whose
  // end arrived then would never complete. They get their event from the loop.
  if (recheckQueued_ || !portOpen() || port_.bytesAvailable() == 0 || arrived() == reported_)
    return;
  recheckQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        recheckQueued_ = false;
        if (portOpen() && port_.bytesAvailable() > 0 && arrived() > reported_) reportReceive();
      },
      Qt::QueuedConnection);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || busy_ || lost_ || !port_.isOpen()) return;
  // A failed read or write means the same as a vanished device even when its node is still
  // there (a hung-up terminal, a dead adapter): QSerialPort keeps its read notifier on after a
  // read error, and the failing read would come back from every turn of the event loop.
  const bool vanished = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                        error == QSerialPort::WriteError;
  if (!vanished) return;  // the other errors say nothing the console reacts to
  lost_ = true;
  // The error arrives from inside QSerialPort's own notifier; closing there would delete the
  // notifier under its feet, so the close and the report run from the event loop.
  const unsigned generation = generation_;
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (generation != generation_ || !lost_) return;
        close();
        raise(comEventDeviceLost);
      },
      Qt::QueuedConnection);
}

void QtSerialPort::raise(int event) {
  event_ = event;
  if (onComm) onComm();
}

}  // namespace tkr::platform::qt
