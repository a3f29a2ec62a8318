#include "platform/fake/fake_platform.h"

#include <cmath>

#include "core/protocol/line_settings.h"

namespace tkr::platform::fake {

void FakeTimer::arm() {
  disarm();
  if (!enabled_ || interval_ <= 0) return;
  pending_ = loop_.after(interval_ * kMs, [this] {
    pending_.reset();
    arm();  // a window timer keeps firing until disabled
    if (onTimer) onTimer();
  });
}

void FakeTimer::disarm() {
  if (pending_) loop_.cancel(*pending_);
  pending_.reset();
}

void FakeTimer::setInterval(int ms) {
  interval_ = ms;
  arm();
}

void FakeTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  arm();
}

bool FakeSerialPort::setPortOpen(bool open) {
  if (open == open_) return true;
  if (!open) {
    if (failClose) return false;
    open_ = false;
    inBuffer_.clear();
    if (connected_) connected_->hostClosed();
    connected_ = nullptr;
    return true;
  }
  auto it = devices_.find(commPort_);
  if (!openError.empty()) {
    lastOpenError_ = openError;
    return false;
  }
  if (it == devices_.end()) {
    lastOpenError_ = "no device on this number";
    return false;
  }
  if (!protocol::ParseSettings(settings_)) {
    lastOpenError_ = "invalid settings \"" + settings_ + "\"";
    return false;
  }
  lastOpenError_.clear();
  open_ = true;
  ++opens_;
  connected_ = it->second;
  lineFreeAt_ = loop_.now();
  connected_->hostOpened(*this);
  return true;
}

Micros FakeSerialPort::characterTime() const {
  const auto parsed = protocol::ParseSettings(settings_);
  const double seconds = protocol::CharacterTime(parsed.value_or(protocol::LineSettings{}));
  return static_cast<Micros>(std::lround(seconds * 1e6));
}

void FakeSerialPort::output(const Bytes& data) {
  if (!open_) return;
  written_ += data;
  writes_.push_back(data);
  // The bytes leave one character time apart, after whatever is still being sent.
  lineFreeAt_ =
      std::max(lineFreeAt_, loop_.now()) + static_cast<Micros>(data.size()) * characterTime();
  if (connected_) connected_->hostWrote(data, lineFreeAt_);
}

Bytes FakeSerialPort::input() {
  Bytes out;
  out.swap(inBuffer_);
  return out;
}

void FakeSerialPort::deliver(const Bytes& data) {
  if (!open_) return;  // nobody listens on a closed port: the bytes are lost
  inBuffer_ += data;
  delivered_ += data;
  raise(comEvReceive);
}

void FakeSerialPort::raise(int event) {
  event_ = event;
  if (onComm) onComm();
}

void FakeSerialPort::vanish() {
  if (!open_) return;
  open_ = false;
  inBuffer_.clear();
  connected_ = nullptr;
  raise(comEventDeviceLost);
}

void FakeShell::messageBox(const std::string& text, const std::string& title, MsgIcon icon) {
  boxes.push_back({text, title, icon, loop_.now()});
}

void FakeForms::load(FormId form) {
  if (loaded(form)) return;
  loaded_[form] = true;
  if (auto it = onLoad.find(form); it != onLoad.end() && it->second) it->second();
}

void FakeForms::show(FormId form) {
  load(form);
  visible_[form] = true;
}

void FakeForms::unload(FormId form) {
  if (!loaded(form)) return;
  loaded_.erase(form);
  visible_.erase(form);
  if (auto it = onUnload.find(form); it != onUnload.end() && it->second) it->second();
}

}  // namespace tkr::platform::fake
