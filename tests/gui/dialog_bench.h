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
#include "tests/support/fake_console.h"

namespace tkr::testing {

using namespace platform::fake;

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
  FakeMainWindow w;  // the main window's controls that the shared routines touch
  QWidget mainWindow;
  std::unique_ptr<link::Module1> module;
  std::unique_ptr<sim::InProcessReader> reader;
};

}  // namespace tkr::testing
