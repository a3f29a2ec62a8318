#include "sim/in_process.h"

#include <algorithm>
#include <utility>

namespace tkr::sim {

using platform::fake::FakeLoop;
using platform::fake::FakeSerialPort;

InProcessReader::InProcessReader(FakeLoop& loop, std::uint32_t seed) : loop_(loop), model_(seed) {}

InProcessReader::~InProcessReader() {
  cancelAll();
  if (port_ && plugged_) port_->detach(portNumber_);
}

void InProcessReader::attachTo(FakeSerialPort& port, int portNumber) {
  if (port_ && plugged_) port_->detach(portNumber_);
  port_ = &port;
  portNumber_ = portNumber;
  plugged_ = true;
  port.attach(portNumber, this);
}

void InProcessReader::at(Micros when, std::function<void()> fn) {
  const std::uint64_t token = ++nextToken_;
  scheduled_[token] = loop_.schedule(when, [this, token, fn = std::move(fn)] {
    scheduled_.erase(token);
    fn();
  });
}

void InProcessReader::cancelAll() {
  for (const auto& [token, id] : scheduled_) loop_.cancel(id);
  scheduled_.clear();
}

bool InProcessReader::hostListens() const {
  if (!hostOpen_ || !port_) return false;
  const auto host = protocol::ParseSettings(port_->settings());
  return host && model_.hears(*host);
}

void InProcessReader::hostOpened(FakeSerialPort& port) {
  port_ = &port;
  hostOpen_ = true;
  ++session_;
  txFreeAt_ = loop_.now();
}

void InProcessReader::hostClosed() {
  hostOpen_ = false;
  ++session_;
}

void InProcessReader::hostWrote(const Bytes& data, Micros arrived) {
  // The settings the host sends with are those of its port now, not when the bytes land.
  const auto host = protocol::ParseSettings(port_->settings());
  if (!host) return;
  const Micros charTime = port_->characterTime();
  const std::uint64_t session = session_;
  // The reader takes each byte as it lands; a command written just before the host closes
  // still takes effect (a warm reset before a reopen at new settings), but its answer is
  // lost with the closed session.
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto later = static_cast<Micros>(data.size() - 1 - i);
    at(arrived - later * charTime, [this, byte = data.substr(i, 1), session, line = *host] {
      if (vanishing_) return;
      if (loop_.now() - lastHeardAt_ > ReaderModel::kFrameTimeoutMs * platform::fake::kMs) {
        model_.lineWasQuiet();
      }
      lastHeardAt_ = loop_.now();
      for (const auto& reply : model_.hostWrote(byte, line)) {
        if (session == session_) transmit(reply.bytes, loop_.now() + replyDelay_);
        if (!reply.thenVanish) continue;
        // Queued after the answer's last delivery, so the host has that byte when it goes.
        vanishing_ = true;
        at(std::max(txFreeAt_, loop_.now()), [this] { unplug(); });
      }
    });
  }
}

void InProcessReader::swipe(const Card& card) {
  if (vanishing_) return;
  const Bytes data = model_.swipe(card);
  if (hostListens()) transmit(data, loop_.now());
}

void InProcessReader::transmit(const Bytes& bytes, Micros start) {
  const Micros charTime = port_->characterTime();
  const std::uint64_t session = session_;
  Micros t = std::max({start, txFreeAt_, loop_.now()});
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) t += byteGap_;
    t += charTime;  // a byte is there once its stop bit is
    at(t, [this, session, byte = bytes[i]] {
      if (session == session_ && hostListens()) port_->deliver(Bytes(1, byte));
    });
  }
  txFreeAt_ = t;
}

void InProcessReader::unplug() {
  if (!plugged_) return;
  plugged_ = false;
  vanishing_ = false;
  cancelAll();  // whatever it was doing dies with the power
  port_->detach(portNumber_);
  if (hostOpen_) {
    hostOpen_ = false;
    ++session_;
    port_->vanish();
  }
}

void InProcessReader::replug() {
  if (plugged_ || !port_) return;
  plugged_ = true;
  port_->attach(portNumber_, this);
}

}  // namespace tkr::sim
