#include "core/link/reader.h"

#include <cstdlib>

#include "core/protocol/frames.h"
#include "core/protocol/monitor_format.h"
#include "platform/plain_controls.h"

namespace tkr::link {

using Kind = Outcome::Kind;
using platform::FormId;

std::optional<std::string> ReaderSettings::caption(protocol::ConfigItem item) const {
  std::optional<std::string> found;
  for (const auto& u : items) {
    if (u.item == item) found = std::string(u.caption);
  }
  return found;
}

// Every control of the main window and of the detection window, seen by nobody.
class Reader::View {
 public:
  View() {
    for (Control* MainView::*slot :
         {&MainView::COMPortLabel,  &MainView::BaudRateLabel,    &MainView::ParityLabel,
          &MainView::RTSLabel,      &MainView::CTSLabel,         &MainView::SelfArmLabel,
          &MainView::LRCLabel,      &MainView::SSESLabel,        &MainView::ProtocolLabel,
          &MainView::JISLabel,      &MainView::BuzzerLabel,      &MainView::CardTypeLabel,
          &MainView::FWLabel,       &MainView::BusyLabel,        &MainView::BusyTextLabel,
          &MainView::DefaultButton, &MainView::PreSuffixCommand, &MainView::CardDataButton,
          &MainView::Track1TextBox, &MainView::Track2TextBox,    &MainView::Track3TextBox,
          &MainView::txtSend}) {
      main.*slot = control();
    }
    for (auto& panel : main.StatusPanels) panel = control();
    for (CheckControl* MainView::*slot :
         {&MainView::BuzzerCheckBox, &MainView::SSESCheckBox, &MainView::SelfArmCheckBox,
          &MainView::LRCCheckBox, &MainView::JISCheckBox, &MainView::RTSCheckBox,
          &MainView::CTSCheckBox, &MainView::TK1CheckBox, &MainView::TK2CheckBox,
          &MainView::TK3CheckBox}) {
      checks_.push_back(std::make_unique<platform::PlainCheck>());
      main.*slot = checks_.back().get();
    }
    main.txtReceive = &log_;
    HideUnusedControls(main);
    detecting = {control(), control(), control(), &progress_};
  }
  MainView main;
  DetectingView detecting;

 private:
  // Nobody reads the monitor here: it keeps nothing.
  class Discard : public LogControl {
    void append(const std::string&) override {}
    void removeLeadingLines(std::size_t) override {}
    void clear() override {}
    std::string text() const override { return {}; }
  };
  Control* control() {
    controls_.push_back(std::make_unique<platform::PlainControl>());
    return controls_.back().get();
  }
  std::vector<std::unique_ptr<platform::PlainControl>> controls_;
  std::vector<std::unique_ptr<platform::PlainCheck>> checks_;
  Discard log_;
  platform::PlainProgress progress_;
};

// The detection window hands its controls to the routine; the port dialog, which the console
// opens when no reader answers, has nothing to show here.
class Reader::Forms : public platform::Forms {
 public:
  explicit Forms(Reader& reader) : reader_(reader) {}
  void show(FormId form) override { load(form); }
  void load(FormId form) override {
    if (form != FormId::Detecting || detecting_) return;
    detecting_ = true;
    reader_.m_->DetectingForm_Load(&reader_.view_->detecting);
  }
  void unload(FormId form) override {
    if (form != FormId::Detecting || !detecting_) return;
    detecting_ = false;
    reader_.m_->DetectingForm_Unloaded();
  }
  bool loaded(FormId form) const override {
    return form == FormId::Detecting ? detecting_ : form == FormId::Main;
  }

 private:
  Reader& reader_;
  bool detecting_ = false;
};

class Reader::Shell : public platform::Shell {
 public:
  explicit Shell(Reader& reader) : reader_(reader) {}
  void messageBox(const std::string&, const std::string&, platform::MsgIcon) override {}
  [[noreturn]] void endProgram(int status) override {
    if (reader_.onEnd) reader_.onEnd(status);
    std::_Exit(status);
  }

 private:
  Reader& reader_;
};

// The serial control as the routines see it. A close that follows an open with nothing
// written in between (the port dialog's Done opens, then closes and opens again with the
// new settings) keeps the device open, so the line is not opened twice for one command.
// It also notes what each COM number did, for the detection's report.
class Reader::HeldPort : public platform::SerialPort {
 public:
  explicit HeldPort(platform::SerialPort& port) : port_(port) {
    port_.onComm = [this] {
      if (onComm) onComm();
    };
  }
  ~HeldPort() override { port_.onComm = nullptr; }

  void setCommPort(int port) override { port_.setCommPort(port); }
  int commPort() const override { return port_.commPort(); }
  void setSettings(const std::string& s) override { port_.setSettings(s); }
  std::string settings() const override { return port_.settings(); }
  void setHandshaking(int mode) override { port_.setHandshaking(mode); }
  int handshaking() const override { return port_.handshaking(); }
  bool portOpen() const override { return !held_ && port_.portOpen(); }
  std::string lastOpenError() const override { return port_.lastOpenError(); }
  int inBufferCount() const override { return held_ ? 0 : port_.inBufferCount(); }
  void discardInput() override { port_.discardInput(); }
  int commEvent() const override { return port_.commEvent(); }

  bool setPortOpen(bool open) override {
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
    const bool done = port_.setPortOpen(open);
    if (open) {
      // What waits in the driver came before anything was sent (the answer to a program that
      // ended mid-command): it answers nobody here.
      if (done) port_.discardInput();
      notes[port_.commPort()] = done ? "no answer" : port_.lastOpenError();
      answered_.clear();
    }
    return done;
  }
  void output(const Bytes& data) override {
    if (!portOpen()) return;
    written_ = true;
    port_.output(data);
  }
  Bytes input() override {
    if (held_) return {};
    Bytes in = port_.input();
    if (!in.empty() && answered_.size() < kQuoted) {
      answered_ += in.substr(0, kQuoted - answered_.size());
      notes[port_.commPort()] = "the device that answers is not a TKR520 reader (it answered \"" +
                                protocol::EscapeBytes(answered_) + "\")";
    }
    return in;
  }

  std::map<int, std::string> notes;  // COM number: what its last open and answers came to

 private:
  static constexpr std::size_t kQuoted = 16;  // of what a device answered, quoted in its note
  Bytes answered_;                            // since the port was last opened
  platform::SerialPort& port_;
  bool written_ = false;  // since the device was opened
  bool held_ = false;     // closed for the routine, still open on the device
  int heldPort_ = 0;
};

// A timer that never fires: a listener leaves the card-data fetch off.
class Reader::IdleTimer : public platform::Timer {
 public:
  void setInterval(int ms) override { interval_ = ms; }
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool enabled() const override { return enabled_; }

 private:
  int interval_ = 0;
  bool enabled_ = false;
};

namespace {
// The configuration item that reports a toggle: the one whose check box it clicks.
protocol::ConfigItem ItemOf(Toggle toggle) {
  CheckControl* MainView::*box = nullptr;
  for (auto [t, b] : kToggleBoxes) {
    if (t == toggle) box = b;
  }
  for (const ConfigControls& c : kConfigControls) {
    if (c.box == box) return c.item;
  }
  return protocol::ConfigItem::Buzzer;
}
}  // namespace

Reader::Reader(Parts parts, bool fetchCards)
    : view_(std::make_unique<View>()),
      forms_(std::make_unique<Forms>(*this)),
      shell_(std::make_unique<Shell>(*this)),
      port_(std::make_unique<HeldPort>(parts.serial)),
      idle_(std::make_unique<IdleTimer>()) {
  platform::Timer& fetch = fetchCards ? parts.timer3 : *idle_;
  m_ = std::make_unique<Module1>(
      Edition::Current,
      Platform{*port_, parts.timer1, parts.timer2, fetch, parts.pump, *shell_, *forms_},
      view_->main);
  for (auto [toggle, box] : kToggleBoxes) {
    (view_->main.*box)->onClick = [this, t = toggle] { m_->ToggleClicked(t); };
  }
  m_->setEvents({
      [this](const Bytes& c) {
        if (onSent) onSent(c);
      },
      [this](const Bytes& r) {
        if (onReceived) onReceived(r);
      },
      [this](const CardFetch& card) {
        if (onCard) onCard(card);
      },
      [this] {
        if (onLost) onLost();
      },
  });
  m_->PrepareExchanges();
}

Reader::~Reader() {
  m_->setEvents({});
  Close();
}

int Reader::port() const {
  return port_->commPort();
}
std::string Reader::settings() const {
  return port_->settings();
}
int Reader::rts() const {
  return view_->main.RTSCheckBox->value();
}
int Reader::cts() const {
  return view_->main.CTSCheckBox->value();
}
std::string Reader::Com() const {
  return "COM" + std::to_string(port());
}

void Reader::Close() {
  m_->ClosePort();
}

Outcome Reader::Run(const std::function<void()>& action, std::vector<Exchange>* exchanges) {
  settings_ = {};
  m_->takeExchanges();
  m_->recordExchanges(true);
  action();
  m_->recordExchanges(false);
  const std::vector<Exchange> done = m_->takeExchanges();
  const Bytes re1 = m_->CommandTable[protocol::Cmd::RE1];
  for (const Exchange& e : done) {
    if (e.sent == re1 && e.result == ExchangeResult::Answered) {
      settings_ = {e.reply, protocol::DecodeConfigStatus(e.reply)};
    }
  }
  if (exchanges) *exchanges = done;
  return Judge(done);
}

Outcome Reader::Judge(const std::vector<Exchange>& exchanges) {
  const auto lost = [this](const std::string& why) {
    return Outcome{Kind::Lost, Com() + ": the reader was lost (" + why + ")"};
  };
  bool answered = false;  // the line worked earlier in this call
  for (const Exchange& e : exchanges) {
    switch (e.result) {
      case ExchangeResult::Answered:
        answered = true;
        break;
      case ExchangeResult::NotAwaited:
        break;
      case ExchangeResult::TimedOut:
        // The reader may restart without its power-on report; the next command tells.
        if (e.sent == protocol::kWarmResetCommand) break;
        if (m_->portLost()) return lost("the device went away");
        return {Kind::NoAnswer, Com() + ": no answer from the reader to " +
                                    protocol::EscapeBytes(protocol::ReadableCommand(e.sent))};
      case ExchangeResult::NotOpen:
      case ExchangeResult::PortLost:
        if (m_->portLost() || e.result == ExchangeResult::PortLost)
          return lost("the device went away");
        // Reopened after a reset, the port of a reader that answered a moment ago is gone.
        if (answered) return lost(port_->lastOpenError());
        return {Kind::OpenFailed, Com() + ": " + port_->lastOpenError()};
    }
  }
  if (m_->portLost()) return lost("the device went away");
  return CheckIdentity(exchanges);
}

Outcome Reader::CheckIdentity(const std::vector<Exchange>& exchanges) {
  const Bytes re1 = m_->CommandTable[protocol::Cmd::RE1];
  for (const Exchange& e : exchanges) {
    if (e.result != ExchangeResult::Answered) continue;
    const bool version = e.sent == "9" && !protocol::IsVersionReport(e.reply);
    const bool config = e.sent == re1 && !protocol::IsConfigStatus(e.reply);
    if (version || config) {
      settings_ = {};
      return {Kind::NotReader,
              Com() + ": the device that answers is not a TKR520 reader (it answered \"" +
                  protocol::EscapeBytes(e.reply) + "\" to " +
                  protocol::EscapeBytes(protocol::ReadableCommand(e.sent)) + ")"};
    }
  }
  return {};
}

Outcome Reader::Connect(int port, const std::string& settings) {
  port_->setCommPort(port);
  port_->setSettings(settings);
  if (!port_->setPortOpen(true)) return {Kind::OpenFailed, Com() + ": " + port_->lastOpenError()};
  std::vector<Exchange> done;
  Outcome outcome = Run([&] { m_->Connect(port, settings); }, &done);
  firmware_.clear();
  for (const Exchange& e : done) {
    if (e.sent == "9" && e.result == ExchangeResult::Answered) firmware_ = e.reply.substr(0, 8);
  }
  return outcome;
}

Outcome Reader::Detect() {
  port_->notes.clear();
  std::vector<Exchange> done;
  Outcome outcome = Run(
      [&] {
        m_->DetectStep = 0;
        m_->AutoDetect();
      },
      &done);
  if (!port_->portOpen()) {
    std::string each;
    for (const auto& [com, note] : port_->notes) {
      each += "\n  COM" + std::to_string(com) + ": " + note;
    }
    return {Kind::NoAnswer, "no reader answered on COM1..COM16:" + each};
  }
  firmware_ = view_->main.FWLabel->caption();
  // The scan's probes are not the reader's answers; from the version request on they are.
  std::vector<Exchange> found;
  for (auto it = done.rbegin(); it != done.rend(); ++it) {
    found.insert(found.begin(), *it);
    if (it->sent == "9") break;
  }
  return outcome.ok() ? Judge(found) : outcome;
}

Outcome Reader::ReadSettings() {
  return Run([&] {
    m_->RefreshingView = true;
    m_->RefreshConfigView();
    m_->RefreshingView = false;
  });
}

Outcome Reader::SetToggle(Toggle toggle, bool on) {
  CheckControl* box = nullptr;
  for (auto [t, slot] : kToggleBoxes) {
    if (t == toggle) box = view_->main.*slot;
  }
  if (box->value() == (on ? 1 : 0)) return {};
  Outcome outcome = Run([&] { box->setValue(on ? 1 : 0); });
  // The toggle's own read-back sets only the labels; the boxes follow what the reader says,
  // so the next change meets the interlock as the reader stands.
  m_->RefreshingView = true;
  for (const auto& u : settings_.items) {
    for (auto [t, slot] : kToggleBoxes) {
      if (ItemOf(t) == u.item && u.boxValue) (view_->main.*slot)->setValue(*u.boxValue);
    }
  }
  m_->RefreshingView = false;
  return outcome;
}

Outcome Reader::SetProtocol(int protocol) {
  return Run([&] {
    m_->ReaderProtocol = protocol;
    m_->SendProtocolSetting();
    // The dialog does not wait; its answer is taken on arrival. The read-back waits for it.
    m_->WaitForReply();
    m_->RefreshConfigView();
  });
}

Outcome Reader::SetTracks(int mask, Exchange* ack) {
  view_->main.TK1CheckBox->setValue(mask & 1);
  view_->main.TK2CheckBox->setValue((mask >> 1) & 1);
  view_->main.TK3CheckBox->setValue((mask >> 2) & 1);
  std::vector<Exchange> done;
  Outcome outcome = Run([&] { m_->SendTrackSelection(); }, &done);
  if (ack && !done.empty()) *ack = done.front();
  return outcome;
}

Outcome Reader::SetCodes(const CodeSettings& codes, std::vector<Exchange>* acks) {
  return Run([&] { m_->SendCodeSettings(codes); }, acks);
}

Outcome Reader::RestoreDefaults() {
  return Run([&] { m_->DefaultButton_Click(); });
}

Outcome Reader::SendItem(int itemCode, std::vector<Exchange>* sent) {
  return Run([&] { m_->txtSend_Click(itemCode); }, sent);
}

Outcome Reader::SendText(const Bytes& text, std::vector<Exchange>* sent) {
  return Run([&] { m_->SendTyped(text); }, sent);
}

}  // namespace tkr::link
