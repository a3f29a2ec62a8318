#include "tests/support/fake_console.h"

namespace tkr::testing {

void ScriptedDevice::send(const Bytes& data, Micros delay) {
  Micros at = loop_.now() + delay;
  for (char byte : data) {
    at += port_ ? port_->characterTime() : 1042;
    loop_.schedule(at, [this, byte] {
      if (port_) port_->deliver(Bytes(1, byte));
    });
  }
}

void ScriptedDevice::hostWrote(const Bytes& data, Micros at) {
  if (!answer_) return;
  Bytes reply = answer_(data);
  if (reply.empty()) return;
  loop_.schedule(at + replyDelay, [this, reply] { send(reply); });
}

FakeMainWindow::FakeMainWindow() {
  for (FakeCheck* tk : {&TK1CheckBox, &TK2CheckBox, &TK3CheckBox}) tk->setValue(1);
  for (FakeCheck* box : {&BuzzerCheckBox, &SSESCheckBox, &SelfArmCheckBox, &LRCCheckBox,
                         &JISCheckBox, &RTSCheckBox, &CTSCheckBox}) {
    box->setBackColor(platform::kLightGreen);
  }
  BusyLabel.setBackColor(platform::kGreen);
  Panel1.setCaption("Host Command");
  Panel3.setCaption("Reader Response");
}

link::MainView FakeMainWindow::view() {
  return {.COMPortLabel = &COMPortLabel,
          .BaudRateLabel = &BaudRateLabel,
          .ParityLabel = &ParityLabel,
          .RTSLabel = &RTSLabel,
          .CTSLabel = &CTSLabel,
          .SelfArmLabel = &SelfArmLabel,
          .LRCLabel = &LRCLabel,
          .SSESLabel = &SSESLabel,
          .ProtocolLabel = &ProtocolLabel,
          .JISLabel = &JISLabel,
          .BuzzerLabel = &BuzzerLabel,
          .CardTypeLabel = &CardTypeLabel,
          .FWLabel = &FWLabel,
          .BusyLabel = &BusyLabel,
          .BusyTextLabel = &BusyTextLabel,
          .BuzzerCheckBox = &BuzzerCheckBox,
          .SSESCheckBox = &SSESCheckBox,
          .SelfArmCheckBox = &SelfArmCheckBox,
          .LRCCheckBox = &LRCCheckBox,
          .JISCheckBox = &JISCheckBox,
          .RTSCheckBox = &RTSCheckBox,
          .CTSCheckBox = &CTSCheckBox,
          .TK1CheckBox = &TK1CheckBox,
          .TK2CheckBox = &TK2CheckBox,
          .TK3CheckBox = &TK3CheckBox,
          .DefaultButton = &DefaultButton,
          .PreSuffixCommand = &PreSuffixCommand,
          .CardDataButton = &CardDataButton,
          .Track1TextBox = &Track1TextBox,
          .Track2TextBox = &Track2TextBox,
          .Track3TextBox = &Track3TextBox,
          .txtSend = &txtSend,
          .txtReceive = &txtReceive,
          .StatusPanels = {&Panel1, &Panel2, &Panel3, &Panel4}};
}

link::DetectingView FakeMainWindow::detectingView() {
  return {&StepLabel, &COMLabel, &DataLabel, &ProgressBar1};
}

FakeConsole::FakeConsole(Edition edition) : detecting(w.detectingView()) {
  link::Platform platform{port, timer1, timer2, timer3, loop, shell, forms};
  module = std::make_unique<link::Module1>(edition, platform, w.view());
  for (auto [toggle, box] : link::kToggleBoxes) {
    (module->view().*box)->onClick = [this, t = toggle] { module->ToggleClicked(t); };
  }
  w.TK1CheckBox.onClick = [this] { module->TrackCheckBoxClicked(1); };
  w.TK2CheckBox.onClick = [this] { module->TrackCheckBoxClicked(2); };
  w.TK3CheckBox.onClick = [this] { module->TrackCheckBoxClicked(3); };
  forms.onLoad[FormId::Detecting] = [this] { module->DetectingForm_Load(&detecting); };
  forms.onUnload[FormId::Detecting] = [this] { module->DetectingForm_Unloaded(); };
}

void FakeConsole::load() {
  link::HideUnusedControls(module->view());
  if (module->legacy()) forms.load(FormId::ComPort);
  module->Form_Load([this] { forms.show(FormId::Main); });
}

Bytes FakeConsole::panel(int n) const {
  const FakeControl* panels[] = {&w.Panel1, &w.Panel2, &w.Panel3, &w.Panel4};
  return panels[n - 1]->caption();
}

}  // namespace tkr::testing
