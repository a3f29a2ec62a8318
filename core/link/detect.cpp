// Automatic search for the reader on COM1..COM16 at 9600,n,8,1.
#include "core/link/module1.h"
#include "core/protocol/frames.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/replies.h"

namespace tkr::link {

void Module1::DetectingForm_Load(DetectingView* view) {
  detecting_ = view;
  detecting_->ProgressBar1->setMin(0);
  detecting_->ProgressBar1->setMax(DetectLastStep + 1);
  detecting_->COMLabel->setCaption(std::to_string(p_.MSComm1.commPort()));
  detecting_->DataLabel->setCaption(p_.MSComm1.settings());
  detecting_->ProgressBar1->setValue(detecting_->ProgressBar1->min());
  DetectStep = 0;
}

void Module1::DetectingForm_Unloaded() {
  detecting_ = nullptr;
}

void Module1::CancelCmdBtn_Click() {
  DetectCancelled = true;
  p_.forms.unload(platform::FormId::Detecting);
  p_.forms.show(platform::FormId::ComPort);
}

void Module1::WaitForProbe() {
  // A time-out left over from an earlier probe must not end this one at once.
  ReplyTimedOut = false;
  StartTimeout(kProbeTimeoutUnits);
  ShowBusy();
  // The probe also ends on a plain time-out: with the port gone (device unplugged) Timer2
  // cannot hand the step on, and the scan must not wait for ever.
  while (!ReplyReceived) {
    p_.pump.waitForEvents();
    if (TimeoutHandled || ReplyTimedOut) break;
  }
  ShowReady();
  p_.Timer2.setEnabled(false);
  EndExchange(portLost_ ? ExchangeResult::PortLost : ExchangeResult::TimedOut);
  ReplyReceived = false;
}

void Module1::AutoDetect() {
  ActionScope action(*this);
  {
    ScopedCount detecting(detectDepth_);
    ScanPorts();
  }
  NoteExchangeEnded();
}

void Module1::ScanPorts() {
  TimeoutHandled = false;
  DetectCancelled = false;
  DetectLastStep = kPortCount - 1;
  p_.forms.show(platform::FormId::Detecting);

  while (!p_.MSComm1.portOpen()) {
    PortFailed = false;
    TimeBase = kDetectedTimeBase;
    AwaitingReply = true;
    p_.pump.doEvents();

    HardwareHandshake = false;
    if (DetectStep >= 0 && DetectStep < kPortCount) {
      OpenPort(DetectStep + 1, protocol::kDetectSettings, HardwareHandshake);
    }
    if (DetectCancelled || DetectStep > DetectLastStep) {
      DetectStep = 0;
      p_.forms.unload(platform::FormId::Detecting);
      p_.forms.show(platform::FormId::ComPort);
      ClosePort();
      break;
    }

    FramingError = false;
    // Touching the progress window loads it again if it was closed meanwhile.
    if (!detecting_) p_.forms.load(platform::FormId::Detecting);
    if (detecting_) {
      detecting_->StepLabel->setCaption("Step " + std::to_string(DetectStep + 1) + " of " +
                                        std::to_string(DetectLastStep + 1));
      detecting_->ProgressBar1->setValue(DetectStep + 1);
      detecting_->COMLabel->setCaption(std::to_string(p_.MSComm1.commPort()));
      detecting_->DataLabel->setCaption(p_.MSComm1.settings());
    }

    if (PortFailed || FramingError) {
      ClosePort();
      TimeoutHandled = false;
      ++DetectStep;
    } else {
      AwaitingReply = true;
      SetStatusPanel(2, kVersionMark);
      ReplyBuffer.clear();
      SendCommand("9");
      if (legacy()) ReplyReceived = false;
      WaitForProbe();

      if (TimeoutHandled) {
        TimeoutHandled = false;
        FramingError = false;
      } else if (protocol::IsVersionReport(ReplyBuffer)) {
        InterpretReply(AwaitingReply, CardTypeRequested);
        ReplyReceived = false;
        TimeoutHandled = false;
        if (p_.MSComm1.portOpen()) {
          AwaitingReply = true;
          SetStatusPanel(2, kResetMark);
          ReplyBuffer.clear();
          SendCommand(protocol::kWarmResetCommand);
        }
        resetProbeRunning_ = true;
        WaitForProbe();
        resetProbeRunning_ = false;
        if (ReplyBuffer == ":" || TimeoutHandled) {
          InterpretReply(AwaitingReply, CardTypeRequested);
          break;  // found; the loop also ends because the port is open
        }
        InterpretReply(AwaitingReply, CardTypeRequested);
        ClosePort();
        ++DetectStep;
        p_.Timer2.setEnabled(false);
        ReplyReceived = false;
      } else {
        ClosePort();
        ++DetectStep;
        p_.Timer2.setEnabled(false);
        ReplyReceived = false;
      }
    }
    p_.pump.doEvents();
  }

  p_.Timer2.setEnabled(false);
  p_.forms.unload(platform::FormId::Detecting);
  ReplyBuffer.clear();
  ReplyReceived = false;

  if (p_.MSComm1.portOpen()) {
    // A time-out left over from the scan would end the version wait before the answer came.
    ReplyTimedOut = false;
    AwaitingReply = true;
    SendCommand("9");
    WaitForReply();
    ShowPortSettings();
    const Bytes& version = ReplyBuffer;
    view_.FWLabel->setCaption(legacy() ? version : version.substr(0, 8));
    ReplyBuffer.clear();
    RefreshingView = true;
    RefreshConfigView();
    RefreshingView = false;
  }
}

}  // namespace tkr::link
