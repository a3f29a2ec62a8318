#pragma once
// The console's shared routines on the fake platform: every control of the main window as a
// plain fake, wired the way the real window wires them, on a virtual clock.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/link/module1.h"
#include "platform/fake/fake_platform.h"

namespace tkr::testing {

using namespace platform::fake;
using platform::FormId;

// A far end that answers each complete write through a function, paced like a UART.
class ScriptedDevice : public LineDevice {
 public:
  using Answer = std::function<Bytes(const Bytes& written)>;
  explicit ScriptedDevice(FakeLoop& loop, Answer answer = {})
      : loop_(loop), answer_(std::move(answer)) {}
  void setAnswer(Answer answer) { answer_ = std::move(answer); }
  // Sends bytes on its own (a swipe), one character time apart.
  void send(const Bytes& data, Micros delay = 0);
  Micros replyDelay = 2 * kMs;

  void hostOpened(FakeSerialPort& port) override { port_ = &port; }
  void hostClosed() override { port_ = nullptr; }
  void hostWrote(const Bytes& data, Micros at) override;

 private:
  FakeLoop& loop_;
  Answer answer_;
  FakeSerialPort* port_ = nullptr;
};

// The monitor box, telling a watcher of each change as the console makes it.
class WatchedLog : public FakeLog {
 public:
  struct Watcher {
    virtual void appended(const std::string& text) = 0;
    virtual void trimmed(std::size_t lines) = 0;
    virtual void cleared() = 0;

   protected:
    ~Watcher() = default;
  };
  void append(const std::string& t) override {
    FakeLog::append(t);
    if (watcher) watcher->appended(t);
  }
  void removeLeadingLines(std::size_t lines) override {
    FakeLog::removeLeadingLines(lines);
    if (watcher) watcher->trimmed(lines);
  }
  void clear() override {
    FakeLog::clear();
    if (watcher) watcher->cleared();
  }
  Watcher* watcher = nullptr;
};

struct FakeMainWindow {
  FakeControl COMPortLabel, BaudRateLabel, ParityLabel, RTSLabel, CTSLabel, SelfArmLabel, LRCLabel,
      SSESLabel, ProtocolLabel, JISLabel, BuzzerLabel, CardTypeLabel, FWLabel, BusyLabel,
      BusyTextLabel;
  FakeCheck BuzzerCheckBox, SSESCheckBox, SelfArmCheckBox, LRCCheckBox, JISCheckBox, RTSCheckBox,
      CTSCheckBox, TK1CheckBox, TK2CheckBox, TK3CheckBox;
  FakeControl DefaultButton, PreSuffixCommand, CardDataButton;
  FakeControl Track1TextBox, Track2TextBox, Track3TextBox, txtSend;
  WatchedLog txtReceive;
  FakeControl Panel1, Panel2, Panel3, Panel4;
  // Detecting_form
  FakeControl StepLabel, COMLabel, DataLabel;
  FakeProgress ProgressBar1;

  FakeMainWindow();
  link::MainView view();
  link::DetectingView detectingView();
};

class FakeConsole {
 public:
  explicit FakeConsole(Edition edition = Edition::Current);

  // The window's part of the load (hidden controls), then the shared start-up sequence.
  void load();
  link::Module1& m() { return *module; }
  std::string monitor() const { return w.txtReceive.text(); }
  Bytes panel(int n) const;

  FakeLoop loop;
  FakeSerialPort port{loop};
  FakeTimer timer1{loop}, timer2{loop}, timer3{loop};
  FakeShell shell{loop};
  FakeForms forms;
  FakeMainWindow w;
  link::DetectingView detecting;
  std::unique_ptr<link::Module1> module;
};

}  // namespace tkr::testing
