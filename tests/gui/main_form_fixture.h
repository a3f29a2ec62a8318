#pragma once
// The real main window on the fake platform: virtual clock, fake serial port with the
// simulated reader on a COM port, and the real window registry with the real dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <memory>

#include "console/main_form.h"
#include "console/qt_forms.h"
#include "dialogs/form_window.h"
#include "platform/fake/fake_platform.h"
#include "sim/in_process.h"

namespace tkr::testing {

using namespace platform::fake;
using platform::FormId;

// The units from `from` on, each as "09 00 03 ...", so a mismatch reads like a line trace.
inline std::vector<std::string> HexFrom(const std::vector<Bytes>& units, std::size_t from) {
  std::vector<std::string> out;
  for (std::size_t i = from; i < units.size(); ++i) {
    out.push_back(QByteArray::fromStdString(units[i]).toHex(' ').toUpper().toStdString());
  }
  return out;
}

struct MainFormHarness {
  // readerPort 0: no reader anywhere.
  explicit MainFormHarness(Edition edition = Edition::Current, int readerPort = 1)
      : reader(std::make_unique<sim::InProcessReader>(loop)) {
    if (readerPort > 0) reader->attachTo(port, readerPort);
    window = std::make_unique<console::Main_form>(
        edition, link::Platform{port, timer1, timer2, timer3, loop, shell, forms});
  }
  ~MainFormHarness() {
    window.reset();
    reader.reset();  // before the port it is plugged into
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  console::Main_form& w() { return *window; }
  link::Module1& m() { return window->module(); }
  link::MainView& view() { return m().view(); }
  template <class T = QWidget>
  T* find(const char* name) {
    return qobject_cast<T*>(window->control(name));
  }

  // The start-up (detection, then the configuration read-out) and what it queued.
  void load() {
    window->Load();
    loop.runFor(500 * kMs);
    settle();
  }
  template <class D = dialogs::FormWindow>
  D* open(FormId id) {
    forms.show(id);
    settle();
    return dialog<D>(id);
  }
  template <class D = dialogs::FormWindow>
  D* dialog(FormId id) const {
    return qobject_cast<D*>(forms.dialog(id));
  }
  bool loaded(FormId id) const { return forms.loaded(id); }
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

  // The commands the simulated reader heard, from a mark on.
  std::size_t heard() const { return reader->received().size(); }
  std::vector<std::string> heardSince(std::size_t from) const {
    return HexFrom(reader->received(), from);
  }

  FakeLoop loop;
  FakeSerialPort port{loop};
  FakeTimer timer1{loop}, timer2{loop}, timer3{loop};
  FakeShell shell{loop};
  console::QtForms forms;
  std::unique_ptr<sim::InProcessReader> reader;
  std::unique_ptr<console::Main_form> window;
};

}  // namespace tkr::testing
