#pragma once
// The real main window on the fake platform: virtual clock, fake serial port with the
// simulated reader on COM1, and the real window registry with the real dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <memory>

#include "console/main_form.h"
#include "console/qt_forms.h"
#include "platform/fake/fake_platform.h"
#include "sim/in_process.h"

namespace tkr::testing {

using namespace platform::fake;

struct MainFormHarness {
  explicit MainFormHarness(Edition edition = Edition::Current, bool withReader = true) {
    if (withReader) {
      reader = std::make_unique<sim::InProcessReader>(loop);
      reader->attachTo(port, 1);
    }
    window = std::make_unique<console::Main_form>(
        edition, link::Platform{port, timer1, timer2, timer3, loop, shell, forms});
  }
  ~MainFormHarness() {
    window.reset();
    reader.reset();  // before the port it is plugged into
  }

  console::Main_form& w() { return *window; }
  link::MainView& view() { return window->module().view(); }
  template <class T = QWidget>
  T* find(const char* name) {
    return qobject_cast<T*>(window->control(name));
  }
  // Everything written to the port from now on.
  std::size_t mark() const { return port.writes().size(); }
  std::vector<Bytes> writesSince(std::size_t mark) const {
    const auto& all = port.writes();
    return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
  }

  FakeLoop loop;
  FakeSerialPort port{loop};
  FakeTimer timer1{loop}, timer2{loop}, timer3{loop};
  FakeShell shell{loop};
  console::QtForms forms;
  std::unique_ptr<sim::InProcessReader> reader;
  std::unique_ptr<console::Main_form> window;
};

// What a control shows as its caption: a frame's title, a button's or a label's text.
inline QString Shown(QWidget* w) {
  if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  return {};
}

}  // namespace tkr::testing
