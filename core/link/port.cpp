// The one serial port: opening, closing, showing its settings, and the receive event.
#include <algorithm>
#include <string_view>
#include <utility>

#include "core/link/module1.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

using platform::comNone;
using platform::comRTS;

Module1::Module1(Edition edition, Platform platform, MainView view)
    : edition_(edition), p_(platform), view_(view) {
  monitor_.attach(view_.txtReceive);
  p_.MSComm1.onComm = [this] { OnComm(); };
  p_.Timer1.onTimer = [this] { Timer1_Timer(); };
  p_.Timer2.onTimer = [this] { Timer2_Timer(); };
  p_.Timer3.onTimer = [this] { Timer3_Timer(); };
}

void Module1::OpenPort(int port, const std::string& settings, bool handshake) {
  ClosePort();
  p_.MSComm1.setCommPort(port);
  p_.MSComm1.setSettings(settings);
  p_.MSComm1.setHandshaking(handshake ? comRTS : comNone);
  EnsurePortOpen();
}

void Module1::EnsurePortOpen() {
  if (p_.MSComm1.portOpen()) return;
  if (!p_.MSComm1.setPortOpen(true)) {
    PortFailed = true;
    return;
  }
  portLost_ = false;
  // The legacy edition never clears the flag here; only a detection step does.
  if (!legacy()) PortFailed = false;
}

void Module1::ClosePort() {
  if (!heldBack_.empty()) {
    // A reception set aside behind a wait's reply ends with its line: it stands in the
    // monitor, but is neither card data nor a reply on the port opened next. The quiet time
    // running is its own; left to run, it would complete the reply a second time.
    p_.Timer1.setEnabled(false);
    LogReception(std::exchange(heldBack_, {}));
  }
  if (!p_.MSComm1.portOpen()) return;
  if (!p_.MSComm1.setPortOpen(false)) {
    p_.shell.messageBox("COM port close error!", "Message", platform::MsgIcon::Information);
    p_.pump.doEvents();
  }
}

void Module1::ShowPortSettings() {
  const auto parts = protocol::SplitSettings(p_.MSComm1.settings());
  view_.BaudRateLabel->setCaption(parts.baud);
  view_.ParityLabel->setCaption(parts.frame);
  view_.COMPortLabel->setCaption(std::to_string(p_.MSComm1.commPort()));
}

void Module1::OnComm() {
  // The handler pumps events, and a line that never pauses raises the next receive event
  // from inside that pump: left alone, every burst would nest one level deeper until the
  // stack runs out. A handler raised inside another one does its work without pumping; the
  // outer one's pump carries on, so the nesting stays two deep whatever the line does.
  const bool nested = onCommDepth_ > 0;
  ScopedCount running(onCommDepth_);
  if (legacy()) p_.Timer1.setEnabled(false);
  ShowBusy();
  switch (p_.MSComm1.commEvent()) {
    case platform::comEvCD:
    case platform::comEvCTS:
    case platform::comEvDSR:
    case platform::comEvRing:
    case platform::comEvSend:
      break;
    case platform::comEvReceive:
      if (legacy()) {
        // The legacy handler restarts the quiet time with the interval taken from TimeBase.
        ShowBusy();
        p_.Timer1.setEnabled(true);
        p_.Timer1.setInterval(TimeBase);
        GatherReceived(p_.MSComm1.input());
      } else {
        p_.Timer1.setEnabled(false);  // disabling and enabling restarts the quiet time
        const Bytes received = p_.MSComm1.input();
        p_.Timer1.setEnabled(true);
        GatherReceived(received);
      }
      break;
    case platform::comEventFrame:
      FramingError = true;
      break;
    case platform::comEventDeviceLost:
      portLost_ = true;
      if (events_.portLost) events_.portLost();
      return;  // the waits end by their time-outs
    default:
      return;  // line errors: the waits end by their time-outs
  }
  if (!nested) p_.pump.doEvents();
}

bool Module1::WaitHoldsItsReply() const {
  return receptionHandedOver_ && ReplyReceived && waitDepth_ > 0 && detectDepth_ == 0 &&
         loadDepth_ == 0;
}

void Module1::GatherReceived(Bytes data) {
  // A reader may start its next reception in the same pass of the event loop that completed
  // the reply a wait was waiting for, before the wait has returned and its caller read the
  // buffer. Those bytes are set aside until then: appended, they would stand again in this
  // reception's record and be taken as part of the reply.
  if (!heldBack_.empty() || WaitHoldsItsReply()) {
    if (WaitHoldsItsReply()) {
      KeepReceived(heldBack_, data);
      return;
    }
    data.insert(0, std::exchange(heldBack_, {}));
  } else if (cut_.open && ReplyBuffer.size() < kReplyBufferLimit) {
    // A command sent into the stream, or its caller, has taken the buffer and with it the
    // reception: what comes now begins the next one.
    cut_ = {};
  }

  // A reception already logged and handed over is used up once no wait is left to read it (a
  // reply to a command sent without waiting, or one its caller left in the buffer): kept, it
  // would stand again at the head of this reception's record and of any card data. Only the
  // wait it completed, still running, and the start-up and detection, which read the buffer
  // after their own waits, may still want it.
  const bool stillWanted = (ReplyReceived && waitDepth_ > 0) || detectDepth_ > 0 || loadDepth_ > 0;
  if (receptionHandedOver_ && !stillWanted) ReplyBuffer.clear();
  receptionHandedOver_ = false;
  KeepReceived(ReplyBuffer, data);
}

void Module1::KeepReceived(Bytes& kept, std::string_view data) {
  // Only the quiet time ends a reception, so a device that streams without a pause is one
  // long reception: the buffer keeps its head, and the rest goes into its monitor record.
  const std::size_t room = kReplyBufferLimit - std::min(kept.size(), kReplyBufferLimit);
  kept.append(data.substr(0, room));
  data.remove_prefix(std::min(room, data.size()));
  if (data.empty()) return;
  if (!cut_.open) {
    // The first byte past the limit: the record opens with what the buffer keeps.
    cut_ = {};
    cut_.open = true;
    monitor_.appendHeader(protocol::kHeaderFromReader);
    cut_.record = monitor_.recordSerial();
    AppendMonitor(kept);
  }
  // Past its own limit the record takes no more, so a line that never pauses cannot grow
  // the monitor (which never drops its newest record) without bound.
  const std::size_t taken = kReplyBufferLimit + cut_.rest.size();
  cut_.rest.append(data.substr(0, kCutRecordLimit - std::min(taken, kCutRecordLimit)));
  while (cut_.rest.size() - cut_.shown >= kReplyBufferLimit) ShowCutLine();
}

void Module1::ShowCutLine() {
  // A Clear since, or another record written after this one, has ended the record there: the
  // rest goes on under a header of its own.
  if (monitor_.recordSerial() != cut_.record) {
    monitor_.appendHeader(protocol::kHeaderFromReader);
    cut_.record = monitor_.recordSerial();
  }
  const Bytes line = cut_.rest.substr(cut_.shown, kReplyBufferLimit);
  AppendMonitor(line);
  cut_.shown += line.size();
}

Bytes Module1::LogReception(const Bytes& kept) {
  // A cut reception already stands in the monitor but for its last line, unless its head was
  // taken from the buffer since and what the buffer holds is another reception.
  const bool cut = cut_.open && kept.size() == kReplyBufferLimit;
  if (cut && cut_.shown < cut_.rest.size()) ShowCutLine();
  Bytes rest = cut ? std::move(cut_.rest) : Bytes();
  cut_ = {};
  if (!cut) {
    AppendMonitorHeader(protocol::kHeaderFromReader);
    AppendMonitor(kept);
  }
  return rest;
}

}  // namespace tkr::link
