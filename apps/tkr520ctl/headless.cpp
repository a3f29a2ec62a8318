#include "apps/tkr520ctl/headless.h"

#include <QTimer>
#include <cstdio>

namespace tkr::ctl {

using link::CheckControl;
using link::Control;
using link::MainView;

void HeadlessLog::append(const std::string& text) {
  if (!sink_) return;  // nobody listens: the monitor keeps nothing
  pending_ += text;
  if (flushQueued_) return;
  flushQueued_ = true;
  QTimer::singleShot(0, [this] { flush(); });
}

void HeadlessLog::flush() {
  flushQueued_ = false;
  if (pending_.empty()) return;
  sink_(pending_);
  pending_.clear();
}

HeadlessView::HeadlessView() {
  const auto control = [this] {
    controls_.push_back(std::make_unique<HeadlessControl>());
    return controls_.back().get();
  };
  for (Control* MainView::*slot :
       {&MainView::COMPortLabel, &MainView::BaudRateLabel, &MainView::ParityLabel,
        &MainView::RTSLabel, &MainView::CTSLabel, &MainView::SelfArmLabel, &MainView::LRCLabel,
        &MainView::SSESLabel, &MainView::ProtocolLabel, &MainView::JISLabel,
        &MainView::BuzzerLabel, &MainView::CardTypeLabel, &MainView::FWLabel,
        &MainView::BusyLabel, &MainView::BusyTextLabel, &MainView::DefaultButton,
        &MainView::PreSuffixCommand, &MainView::CardDataButton, &MainView::Track1TextBox,
        &MainView::Track2TextBox, &MainView::Track3TextBox, &MainView::txtSend}) {
    main_.*slot = control();
  }
  for (auto& panel : main_.StatusPanels) panel = control();
  for (CheckControl* MainView::*slot :
       {&MainView::BuzzerCheckBox, &MainView::SSESCheckBox, &MainView::SelfArmCheckBox,
        &MainView::LRCCheckBox, &MainView::JISCheckBox, &MainView::RTSCheckBox,
        &MainView::CTSCheckBox, &MainView::TK1CheckBox, &MainView::TK2CheckBox,
        &MainView::TK3CheckBox}) {
    checks_.push_back(std::make_unique<HeadlessCheck>());
    main_.*slot = checks_.back().get();
  }
  // The console hides the handshake boxes, so its port dialog does not tell the reader new
  // line settings: the same here.
  main_.RTSCheckBox->setVisible(false);
  main_.CTSCheckBox->setVisible(false);
  main_.CardDataButton->setVisible(false);
  main_.txtReceive = &log_;
  detecting_ = {control(), control(), control(), &progress_};
}

HeadlessCheck& HeadlessView::check(CheckControl* MainView::*box) {
  return static_cast<HeadlessCheck&>(*(main_.*box));
}

HeadlessControl& HeadlessView::label(Control* MainView::*label) {
  return static_cast<HeadlessControl&>(*(main_.*label));
}

void HeadlessForms::show(platform::FormId form) {
  if (form == platform::FormId::ComPort) portDialogAsked_ = true;
  load(form);
}

void HeadlessForms::load(platform::FormId form) {
  if (form != platform::FormId::Detecting || detectingLoaded_ || !module_) return;
  detectingLoaded_ = true;
  module_->DetectingForm_Load(&view_.detecting());
}

void HeadlessForms::unload(platform::FormId form) {
  if (form != platform::FormId::Detecting || !detectingLoaded_ || !module_) return;
  detectingLoaded_ = false;
  module_->DetectingForm_Unloaded();
}

bool HeadlessForms::loaded(platform::FormId form) const {
  return form == platform::FormId::Detecting ? detectingLoaded_ : form == platform::FormId::Main;
}

void HeadlessShell::endProgram(int status) {
  if (endHook_) endHook_(status);
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

RecordingPort::RecordingPort(platform::SerialPort& port) : port_(port) {
  port_.onComm = [this] {
    if (onComm) onComm();
  };
}

bool RecordingPort::setPortOpen(bool open) {
  if (!open && !held_ && !written_ && port_.portOpen()) {
    held_ = true;
    heldPort_ = port_.commPort();
    return true;
  }
  if (held_) {
    held_ = false;
    if (open && port_.commPort() == heldPort_) {
      port_.discardInput();  // what a close would have dropped
      return true;
    }
    if (!port_.setPortOpen(false)) return false;
  }
  if (open && !port_.portOpen()) written_ = false;
  return port_.setPortOpen(open);
}

void RecordingPort::output(const Bytes& data) {
  if (!portOpen()) return;
  written_ = true;
  if (exchanges_.empty() && onFirstOutput) onFirstOutput();
  exchanges_.push_back({data, {}});
  port_.output(data);
}

Bytes RecordingPort::input() {
  if (held_) return {};
  Bytes in = port_.input();
  if (!exchanges_.empty()) exchanges_.back().received += in;
  return in;
}

std::optional<Bytes> RecordingPort::replyTo(const Bytes& command) const {
  for (auto it = exchanges_.rbegin(); it != exchanges_.rend(); ++it) {
    if (it->sent == command) return it->received;
  }
  return std::nullopt;
}

}  // namespace tkr::ctl
