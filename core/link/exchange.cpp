// One exchange: send a command, wait for its reply under the busy indicator and time-outs.
#include "core/link/module1.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

namespace {
constexpr const char* kBusyText = "Under processing, please don't swipe card!";
constexpr const char* kReadyText = "Ready";
constexpr const char* kNoReaderText = "Card Reader is not connected or defective.";

}  // namespace

void Module1::ShowBusy() {
  view_.BusyLabel->setBackColor(platform::kRed);
  view_.BusyTextLabel->setCaption(kBusyText);
}

void Module1::ShowReady() {
  view_.BusyLabel->setBackColor(platform::kGreen);
  view_.BusyTextLabel->setCaption(kReadyText);
}

void Module1::ShowNoReader() {
  view_.BusyLabel->setBackColor(platform::kRed);
  view_.BusyTextLabel->setCaption(kNoReaderText);
}

void Module1::SetStatusPanel(int panel, const Bytes& text) {
  view_.StatusPanels[static_cast<std::size_t>(panel - 1)]->setCaption(text);
}

void Module1::BeginExchange(const Bytes& command, ExchangeResult result) {
  if (exchangeOpen_) EndExchange(ExchangeResult::NotAwaited);
  current_ = {command, {}, result};
  exchangeOpen_ = true;
  if (result != ExchangeResult::TimedOut) EndExchange(result);
}

void Module1::EndExchange(ExchangeResult result) {
  if (!exchangeOpen_) return;
  exchangeOpen_ = false;
  current_.result = result;
  last_ = current_;
  if (recording_) exchanges_.push_back(current_);
}

void Module1::SendCommand(const Bytes& command) {
  if (!legacy() && PortFailed) {
    BeginExchange(command, ExchangeResult::NotOpen);
    return;
  }
  ShowBusy();
  ReplyBuffer.clear();
  ReplyReceived = false;
  SetStatusPanel(4, "");
  SetStatusPanel(2, "");
  if (!p_.MSComm1.portOpen()) {
    BeginExchange(command, portLost_ ? ExchangeResult::PortLost : ExchangeResult::NotOpen);
    if (portWarningShown_) return;
    portWarningShown_ = actionDepth_ > 0;
    p_.shell.messageBox("Communication Error!\r\nPlease check the settings.", "Warning",
                        platform::MsgIcon::Critical);
    return;
  }
  BeginExchange(command, ExchangeResult::TimedOut);
  if (events_.sent) events_.sent(command);
  if (legacy()) p_.MSComm1.output(command);
  SetStatusPanel(2, protocol::ReadableCommand(command));
  AppendMonitorHeader(protocol::kHeaderToReader);
  AppendMonitor(command);
  if (!legacy()) p_.MSComm1.output(command);
}

void Module1::WaitForReply() {
  {
    ScopedCount waiting(waitDepth_);
    ToggleBusy = true;
    TimeoutHandled = true;
    StartTimeout(kReplyTimeoutUnits);
    ShowBusy();
    if (!ReplyReceived) {
      do {
        if (ReplyReceived) break;
        // A handler that ran inside this wait may have stopped the time-out timer; the wait
        // must still end, so the timer is started again rather than waiting for ever.
        if (!p_.Timer2.enabled()) p_.Timer2.setEnabled(true);
        p_.pump.waitForEvents();
      } while (!ReplyTimedOut);
    }
    p_.Timer2.setEnabled(false);
    EndExchange(portLost_ ? ExchangeResult::PortLost : ExchangeResult::TimedOut);

    if (legacy()) {
      ShowReady();
    } else {
      const Bytes fw = view_.FWLabel->caption();
      const bool versionKnown = !fw.empty() && fw != ":";
      // Two branches do the same for different reasons: no version at all, and the power-on
      // report where a version should be.
      // NOLINTBEGIN(bugprone-branch-clone)
      if (!ReplyTimedOut && versionKnown) {
        ShowReady();
        if (!view_.DefaultButton->enabled()) EnableReaderControls();
      } else if (ReplyTimedOut && !versionKnown) {
        ShowNoReader();
        DisableReaderControls();
      } else if (fw == ":") {
        ShowNoReader();
        DisableReaderControls();
      } else if (ReplyTimedOut) {
        if (!view_.DefaultButton->enabled()) EnableReaderControls();
      }
      // NOLINTEND(bugprone-branch-clone)
    }
    ReplyReceived = false;
    TimeoutHandled = false;
    ReplyTimedOut = false;
    ToggleBusy = false;
  }
  NoteExchangeEnded();
}

void Module1::StartTimeout(int units) {
  // The legacy edition enables the timer before it sets the interval; both start it afresh.
  if (legacy()) {
    p_.Timer2.setEnabled(true);
    p_.Timer2.setInterval(TimeBase * units);
  } else {
    p_.Timer2.setInterval(TimeBase * units);
    p_.Timer2.setEnabled(true);
  }
}

void Module1::DisableReaderControls() {
  view_.DefaultButton->setEnabled(false);
  view_.PreSuffixCommand->setEnabled(false);
  const std::pair<Control*, CheckControl*> pairs[] = {
      {view_.SSESLabel, view_.SSESCheckBox},
      {view_.LRCLabel, view_.LRCCheckBox},
      {view_.ProtocolLabel, nullptr},
      {view_.CTSLabel, view_.CTSCheckBox},
      {view_.RTSLabel, view_.RTSCheckBox},
      {view_.JISLabel, view_.JISCheckBox},
      {view_.BuzzerLabel, view_.BuzzerCheckBox},
      {view_.SelfArmLabel, view_.SelfArmCheckBox},
  };
  for (auto [label, box] : pairs) {
    label->setCaption("");
    if (box) box->setEnabled(false);
  }
}

void Module1::EnableReaderControls() {
  for (Control* c :
       {static_cast<Control*>(view_.DefaultButton), view_.PreSuffixCommand,
        static_cast<Control*>(view_.SSESCheckBox), static_cast<Control*>(view_.LRCCheckBox),
        static_cast<Control*>(view_.CTSCheckBox), static_cast<Control*>(view_.RTSCheckBox),
        static_cast<Control*>(view_.JISCheckBox), static_cast<Control*>(view_.BuzzerCheckBox),
        static_cast<Control*>(view_.SelfArmCheckBox)}) {
    c->setEnabled(true);
  }
}

void Module1::Timer1_Timer() {
  p_.Timer1.setEnabled(false);
  if (!heldBack_.empty()) {
    // The quiet time of a reception set aside: it is completed once its wait has returned.
    if (WaitHoldsItsReply()) {
      p_.Timer1.setEnabled(true);
      return;
    }
    GatherReceived({});
  }
  // Bytes still waiting after the quiet time mean the reception goes on.
  const bool gathered = !ReplyBuffer.empty();
  p_.pump.doEvents();
  if (gathered && p_.MSComm1.inBufferCount() != 0) {
    ReplyReceived = false;
    GatherReceived(p_.MSComm1.input());  // within the buffer's limit, like any other bytes
    return;
  }
  CompleteReception();
}

void Module1::CompleteReception() {
  ReplyReceived = true;
  const Bytes rest = LogReception(ReplyBuffer);
  if (events_.received) events_.received(ReplyBuffer + rest);  // whole, as its record shows it
  if (AwaitingReply || FetchingCardData) {
    current_.reply = ReplyBuffer;
    EndExchange(ExchangeResult::Answered);
  }
  if (AwaitingReply && !FetchingCardData) {
    InterpretReply(AwaitingReply, CardTypeRequested);
  } else if (!AwaitingReply && !FetchingCardData) {
    HandleSwipeData();
    // The swipe's record, written afresh from the buffer's head, goes on as the reception's did.
    for (std::size_t at = 0; at < rest.size(); at += kReplyBufferLimit) {
      AppendMonitor(rest.substr(at, kReplyBufferLimit));
    }
  }
  receptionHandedOver_ = true;
}

void Module1::Timer2_Timer() {
  if (!legacy()) p_.Timer2.setEnabled(false);
  if (p_.MSComm1.portOpen() && !TimeoutHandled) {
    TimeoutHandled = true;
    if (DetectStep > DetectLastStep) {
      p_.shell.messageBox("Communication Error!", "Warning", platform::MsgIcon::Critical);
      p_.shell.endProgram(0);
    }
    // A silent reset probe belongs to a found reader: its port stays open.
    if (!resetProbeRunning_) {
      ++DetectStep;
      if (p_.MSComm1.portOpen()) (void)p_.MSComm1.setPortOpen(false);
    }
  }
  ReplyTimedOut = true;
  if (legacy()) p_.Timer2.setEnabled(false);
}

void Module1::Timer3_Timer() {
  p_.Timer3.setEnabled(false);
  const auto fetch = [this] {
    if (CardDataArrived && !AwaitingReply) FetchCardData();
  };
  // Card data that came in during another exchange or a scan is fetched once that has
  // ended: the requests would otherwise be answered into the running exchange.
  if (ExchangeActive()) {
    RunWhenIdle(fetch);
  } else {
    fetch();
  }
}

void Module1::RunWhenIdle(std::function<void()> action) {
  if (!ExchangeActive()) {
    action();
    return;
  }
  deferred_.push_back(std::move(action));
}

void Module1::NoteExchangeEnded() {
  if (ExchangeActive() || deferred_.empty() || drainPosted_) return;
  // Run the deferred clicks from the event loop, after the sequence that just ended its
  // wait has finished, never in the middle of it.
  drainPosted_ = true;
  p_.pump.post([this] {
    drainPosted_ = false;
    DrainDeferred();
  });
}

void Module1::DrainDeferred() {
  while (!deferred_.empty() && !ExchangeActive()) {
    auto action = std::move(deferred_.front());
    deferred_.pop_front();
    action();
  }
}

}  // namespace tkr::link
