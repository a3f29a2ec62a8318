// What the main window's controls do: start-up, buttons, toggles, tracks, command box.
#include "core/link/module1.h"
#include "core/protocol/host_commands.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"

namespace tkr::link {

using platform::comNone;
using platform::comRTS;
using protocol::Cmd;

void Module1::Form_Load(const std::function<void()>& showWindow) {
  ActionScope action(*this);
  {
    ScopedCount loading(loadDepth_);
    if (!legacy()) p_.Timer1.setInterval(kQuietTimeMs);
    ReplyStatusEnabled = true;
    CommandTable.BuildCommandTable();
    if (legacy()) TimeBase = kLegacyLoadTimeBase;  // 5 s replies until the detection sets 100
    FramingError = false;
    HardwareHandshake = false;
    showWindow();
    FetchingCardData = false;
    DetectStep = 0;
    AutoDetect();
    RefreshingView = true;
    RefreshConfigView();
    RefreshingView = false;
    ReplyBuffer.clear();
    AwaitingReply = false;
    ReplyReceived = false;
    ReplyTimedOut = false;
    Track1Pending = Track2Pending = Track3Pending = false;
    CardDataArrived = false;
    CardTypeRequested = false;
  }
  NoteExchangeEnded();
}

void Module1::PrepareExchanges() {
  CommandTable.BuildCommandTable();
  ReplyStatusEnabled = true;
  p_.Timer1.setInterval(kQuietTimeMs);
  TimeBase = kDetectedTimeBase;
}

void Module1::RestartCommandButton_Click() {
  // A restart inside another exchange's wait would take its answers: run it afterwards.
  RunWhenIdle([this] {
    ClosePort();
    DetectStep = 0;
    AutoDetect();
  });
}

void Module1::ClearButton_Click() {
  ClearTrackBoxes();
}

void Module1::ExitButton_Click() {
  if (legacy()) {
    if (p_.MSComm1.portOpen()) (void)p_.MSComm1.setPortOpen(false);
    p_.shell.endProgram(0);
  }
  Form_Unload();
}

void Module1::Form_Unload() {
  ClosePort();
  p_.shell.endProgram(0);
}

CheckControl* Module1::ToggleBox(Toggle toggle) const {
  for (auto [t, box] : kToggleBoxes) {
    if (t == toggle) return view_.*box;
  }
  return nullptr;
}

void Module1::ToggleClicked(Toggle toggle) {
  ActionScope action(*this);
  CheckControl* box = ToggleBox(toggle);
  if (ToggleBusy) return;
  ToggleBusy = true;
  const auto colour = [box](int value) {
    box->setBackColor(value ? platform::kGreen : platform::kLightGreen);
  };
  if (RefreshingView) {
    colour(box->value());
    ToggleBusy = false;
    return;
  }
  // A click during a detection or start-up is ignored like one during a wait: it would
  // otherwise run its exchange inside the scan's probes.
  if (ExchangeActive()) {
    ToggleBusy = false;
    return;
  }
  ReplyReceived = false;
  AwaitingReply = true;
  const int value = box->value();

  if (toggle == Toggle::CTS || toggle == Toggle::RTS) {
    const int rts = view_.RTSCheckBox->value();
    const int cts = view_.CTSCheckBox->value();
    if (!InterlockLets(toggle, rts, cts)) {
      // Nothing is sent.
    } else if (toggle == Toggle::CTS) {
      if (cts == 0) {
        colour(0);
        SetStatusPanel(2, kFrameMark);
        SendCommand(CommandTable[Cmd::CTD]);
        if (legacy()) p_.MSComm1.setHandshaking(comNone);
      } else {
        p_.MSComm1.setHandshaking(comRTS);
        colour(1);
        SetStatusPanel(2, kFrameMark);
        SendCommand(CommandTable[Cmd::CTE]);
      }
    } else {
      if (rts == 0) {
        colour(0);
        SendCommand(CommandTable[Cmd::RTD]);
        if (!legacy()) p_.MSComm1.setHandshaking(comNone);
      } else {
        colour(1);
        SetStatusPanel(2, kFrameMark);
        SendCommand(CommandTable[Cmd::RTE]);
      }
    }
    // The interlock refused: nothing was sent, yet the wait runs to its time-out.
    WaitForReply();
    RefreshConfigView();
    ToggleBusy = false;
    return;
  }

  struct Frames {
    Cmd off, on;
  };
  const Frames frames = toggle == Toggle::Buzzer    ? Frames{Cmd::BZD, Cmd::BZE}
                        : toggle == Toggle::JIS     ? Frames{Cmd::JHD, Cmd::JHE}
                        : toggle == Toggle::LRC     ? Frames{Cmd::LCD, Cmd::LCE}
                        : toggle == Toggle::SelfArm ? Frames{Cmd::SAD, Cmd::SAE}
                                                    : Frames{Cmd::ESD, Cmd::ESE};
  colour(value);
  SetStatusPanel(2, kFrameMark);
  SendCommand(CommandTable[value ? frames.on : frames.off]);
  WaitForReply();
  AwaitingReply = true;
  SetStatusPanel(2, kResetMark);
  SendCommand(protocol::kWarmResetCommand);
  WaitForReply();
  RefreshConfigView();
  ToggleBusy = false;
}

void Module1::RestoreDefaultsSequence(bool emptyBufferFirst) {
  ActionScope action(*this);
  ReplyReceived = false;
  AwaitingReply = true;
  SetStatusPanel(2, kFrameMark);
  SendCommand(CommandTable[Cmd::DF]);
  WaitForReply();
  AwaitingReply = true;
  SetStatusPanel(2, kResetMark);
  SendCommand(protocol::kWarmResetCommand);  // not awaited: the reader restarts at its factory line
                                             // settings
  if (emptyBufferFirst) ReplyBuffer.clear();
  FlushInput();
  OpenPort(p_.MSComm1.commPort(), protocol::kDetectSettings, false);
  AwaitingReply = true;
  SetStatusPanel(2, kResetMark);
  SendCommand(protocol::kWarmResetCommand);
  WaitForReply();
  ReplyBuffer.clear();
  ShowPortSettings();
}

void Module1::RestoreReaderDefaults() {
  RestoreDefaultsSequence(true);
}

void Module1::DefaultButton_Click() {
  RunWhenIdle([this] {
    RestoreReaderDefaults();
    RefreshingView = true;
    RefreshConfigView();
    RefreshingView = false;
  });
}

CheckControl* Module1::TrackBox(int track) const {
  return track == 1 ? view_.TK1CheckBox : track == 2 ? view_.TK2CheckBox : view_.TK3CheckBox;
}

void Module1::TrackCheckBoxClicked(int track) {
  int others = 0;
  for (int t = 1; t <= 3; ++t) {
    if (t != track) others += TrackBox(t)->value();
  }
  if (others == 0) {
    TrackBox(track)->setValue(1);  // the last selected track cannot be deselected
    return;
  }
  // Deferred past a running wait, the selection sent is the one the boxes show by then.
  RunWhenIdle([this] { SendTrackSelection(); });
}

void Module1::SendTrackSelection() {
  AwaitingReply = true;
  ReplyReceived = false;
  const int tk1 = view_.TK1CheckBox->value();
  const int tk2 = view_.TK2CheckBox->value();
  const int tk3 = view_.TK3CheckBox->value();
  const bool binary = (tk1 == 0 || tk1 == 1) && (tk2 == 0 || tk2 == 1) && (tk3 == 0 || tk3 == 1);
  const int mask = tk1 + 2 * tk2 + 4 * tk3;
  if (binary && mask >= 1 && mask <= 7) {
    SetStatusPanel(2, kFrameMark);
    SendCommand(CommandTable[protocol::TrackSelectionCmd(mask)]);
  }
  WaitForReply();
  AwaitingReply = false;
  ReplyReceived = false;
  ReplyBuffer.clear();
}

void Module1::txtSend_Click(int itemCode) {
  RunWhenIdle([this, itemCode] {
    ReplyBuffer.clear();
    Track1Pending = Track2Pending = Track3Pending = false;
    view_.Track1TextBox->setCaption("");
    view_.Track2TextBox->setCaption("");
    view_.Track3TextBox->setCaption("");
    SetStatusPanel(2, "");
    SetStatusPanel(4, "");
    AwaitingReply = true;
    if (const auto* row = protocol::FindHostCommand(itemCode)) {
      if (row->effect == protocol::SideEffect::CardTypeReport) CardTypeRequested = true;
      SendCommand(protocol::HostCommandBytes(itemCode, CommandTable));
      if (row->effect == protocol::SideEffect::PauseBox) {
        p_.shell.messageBox("Pause", "Information", platform::MsgIcon::Information);
      } else if (row->effect == protocol::SideEffect::ResumeBox) {
        p_.shell.messageBox("Resume", "Information", platform::MsgIcon::Information);
      }
    }
    WaitForReply();
    ReplyReceived = false;
    ShowPortSettings();
    ReplyBuffer.clear();
  });
}

void Module1::SendTyped(const Bytes& text) {
  RunWhenIdle([this, text] {
    AwaitingReply = true;
    SendCommand(text);
    WaitForReply();
    view_.txtSend->setCaption("");
  });
}

}  // namespace tkr::link
