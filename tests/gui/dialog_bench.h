#pragma once
// The dialogs as the console runs them: the real window registry over a Module1 on the fake
// platform, with the simulated reader on a COM port and the virtual clock driving the waits.
#include <QApplication>
#include <QWidget>
#include <memory>
#include <vector>

#include "console/qt_forms.h"
#include "core/link/module1.h"
#include "platform/fake/fake_platform.h"
#include "sim/in_process.h"

namespace tkr::testing {

using namespace platform::fake;

// The main window's controls that the shared routines touch, as plain fakes.
struct FakeMainView {
  FakeControl COMPortLabel, BaudRateLabel, ParityLabel, RTSLabel, CTSLabel, SelfArmLabel, LRCLabel,
      SSESLabel, ProtocolLabel, JISLabel, BuzzerLabel, CardTypeLabel, FWLabel, BusyLabel,
      BusyTextLabel;
  FakeCheck BuzzerCheckBox, SSESCheckBox, SelfArmCheckBox, LRCCheckBox, JISCheckBox, RTSCheckBox,
      CTSCheckBox, TK1CheckBox, TK2CheckBox, TK3CheckBox;
  FakeControl DefaultButton, PreSuffixCommand, CardDataButton;
  FakeControl Track1TextBox, Track2TextBox, Track3TextBox, txtSend;
  FakeLog txtReceive;
  FakeControl Panel1, Panel2, Panel3, Panel4;

  link::MainView view() {
    link::MainView v;
    v.COMPortLabel = &COMPortLabel;
    v.BaudRateLabel = &BaudRateLabel;
    v.ParityLabel = &ParityLabel;
    v.RTSLabel = &RTSLabel;
    v.CTSLabel = &CTSLabel;
    v.SelfArmLabel = &SelfArmLabel;
    v.LRCLabel = &LRCLabel;
    v.SSESLabel = &SSESLabel;
    v.ProtocolLabel = &ProtocolLabel;
    v.JISLabel = &JISLabel;
    v.BuzzerLabel = &BuzzerLabel;
    v.CardTypeLabel = &CardTypeLabel;
    v.FWLabel = &FWLabel;
    v.BusyLabel = &BusyLabel;
    v.BusyTextLabel = &BusyTextLabel;
    v.BuzzerCheckBox = &BuzzerCheckBox;
    v.SSESCheckBox = &SSESCheckBox;
    v.SelfArmCheckBox = &SelfArmCheckBox;
    v.LRCCheckBox = &LRCCheckBox;
    v.JISCheckBox = &JISCheckBox;
    v.RTSCheckBox = &RTSCheckBox;
    v.CTSCheckBox = &CTSCheckBox;
    v.TK1CheckBox = &TK1CheckBox;
    v.TK2CheckBox = &TK2CheckBox;
    v.TK3CheckBox = &TK3CheckBox;
    v.DefaultButton = &DefaultButton;
    v.PreSuffixCommand = &PreSuffixCommand;
    v.CardDataButton = &CardDataButton;
    v.Track1TextBox = &Track1TextBox;
    v.Track2TextBox = &Track2TextBox;
    v.Track3TextBox = &Track3TextBox;
    v.txtSend = &txtSend;
    v.txtReceive = &txtReceive;
    v.StatusPanels = {&Panel1, &Panel2, &Panel3, &Panel4};
    return v;
  }
};

class DialogBench {
 public:
  // readerPort 0: no reader anywhere.
  explicit DialogBench(Edition edition = Edition::Current, int readerPort = 1)
      : reader(std::make_unique<sim::InProcessReader>(loop)) {
    link::Platform platform{port, timer1, timer2, timer3, loop, shell, forms};
    module = std::make_unique<link::Module1>(edition, platform, w.view());
    forms.attach(*module, &mainWindow);
    if (readerPort > 0) reader->attachTo(port, readerPort);
  }
  ~DialogBench() {
    reader.reset();  // before the port it is plugged into
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The main window's start-up: detection, then the configuration read-out.
  void load() {
    w.CardDataButton.setVisible(false);
    w.RTSCheckBox.setVisible(false);
    w.CTSCheckBox.setVisible(false);
    module->Form_Load([this] { forms.show(platform::FormId::Main); });
    loop.runFor(500 * kMs);
    settle();
  }

  template <class D>
  D* open(platform::FormId id) {
    forms.show(id);
    settle();
    return qobject_cast<D*>(forms.dialog(id));
  }
  template <class D>
  D* dialog(platform::FormId id) const {
    return qobject_cast<D*>(forms.dialog(id));
  }
  bool loaded(platform::FormId id) const { return forms.loaded(id); }

  // Lets Qt deliver what the clicks queued: deferred closes, deletions, activation.
  static void settle() {
    for (int i = 0; i < 3; ++i) {
      QCoreApplication::processEvents();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  }
  static void activate(QWidget* window) {
    window->activateWindow();
    QApplication::setActiveWindow(window);
    settle();
  }

  std::size_t mark() const { return reader->received().size(); }
  std::vector<Bytes> heardSince(std::size_t from) const {
    const auto& all = reader->received();
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
  }
  link::Module1& m() { return *module; }

  FakeLoop loop;
  FakeSerialPort port{loop};
  FakeTimer timer1{loop}, timer2{loop}, timer3{loop};
  FakeShell shell{loop};
  console::QtForms forms;
  FakeMainView w;
  QWidget mainWindow;
  std::unique_ptr<link::Module1> module;
  std::unique_ptr<sim::InProcessReader> reader;
};

}  // namespace tkr::testing
