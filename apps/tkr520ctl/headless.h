#pragma once
// The controls, windows and message boxes that Module1's routines ask for, without widgets:
// tkr520ctl runs the console's own routines on a QCoreApplication and reads the results off
// these controls. Message boxes become notes for the command's report.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/module1.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/serial_port.h"
#include "platform/shell.h"

namespace tkr::ctl {

template <class Base>
class HeadlessOf : public Base {
 public:
  Bytes caption() const override { return caption_; }
  void setCaption(const Bytes& text) override {
    caption_ = text;
    if (onSet) onSet(text);
  }
  bool enabled() const override { return enabled_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool visible() const override { return visible_; }
  void setVisible(bool visible) override { visible_ = visible; }
  platform::Color backColor() const override { return back_; }
  void setBackColor(platform::Color color) override { back_ = color; }

  std::function<void(const Bytes&)> onSet;

 private:
  Bytes caption_;
  bool enabled_ = true;
  bool visible_ = true;
  platform::Color back_ = 0;
};

using HeadlessControl = HeadlessOf<platform::Control>;

class HeadlessCheck : public HeadlessOf<platform::CheckControl> {
 public:
  int value() const override { return value_; }
  void setValue(int value) override {
    if (value == value_) return;
    value_ = value;
    if (onClick) onClick();
  }
  // Sets the box as the operator's clicks would leave it, without raising its click.
  void setQuietly(int value) { value_ = value; }

 private:
  int value_ = 0;
};

// The monitor box: hands each whole record to the sink once the event that wrote it is
// done, so a record the console clears again at once (a swipe's first log) never shows.
class HeadlessLog : public platform::LogControl {
 public:
  using Sink = std::function<void(const std::string& record)>;
  void setSink(Sink sink) { sink_ = std::move(sink); }
  void append(const std::string& text) override;
  void removeLeadingLines(std::size_t) override {}
  void clear() override { pending_.clear(); }
  std::string text() const override { return pending_; }

 private:
  void flush();
  Sink sink_;
  std::string pending_;
  bool flushQueued_ = false;
};

class HeadlessProgress : public platform::ProgressControl {
 public:
  void setMin(int v) override { min_ = v; }
  void setMax(int v) override { max_ = v; }
  void setValue(int v) override { value_ = v; }
  int min() const override { return min_; }
  int max() const override { return max_; }
  int value() const override { return value_; }

 private:
  int min_ = 0, max_ = 0, value_ = 0;
};

// Every control of the main window and of the detection window.
class HeadlessView {
 public:
  HeadlessView();
  link::MainView& main() { return main_; }
  link::DetectingView& detecting() { return detecting_; }
  HeadlessCheck& check(link::CheckControl* link::MainView::*box);
  HeadlessControl& label(link::Control* link::MainView::*label);
  HeadlessLog& monitor() { return log_; }

 private:
  std::vector<std::unique_ptr<HeadlessControl>> controls_;
  std::vector<std::unique_ptr<HeadlessCheck>> checks_;
  HeadlessLog log_;
  HeadlessProgress progress_;
  link::MainView main_;
  link::DetectingView detecting_;
};

// Loading the detection window hands its controls to the routine; the COM port dialog,
// which the console opens when no reader answers, is only noted.
class HeadlessForms : public platform::Forms {
 public:
  HeadlessForms(HeadlessView& view) : view_(view) {}
  void attach(link::Module1* module) { module_ = module; }
  void show(platform::FormId form) override;
  void load(platform::FormId form) override;
  void unload(platform::FormId form) override;
  bool loaded(platform::FormId form) const override;
  bool portDialogAsked() const { return portDialogAsked_; }

 private:
  HeadlessView& view_;
  link::Module1* module_ = nullptr;
  bool detectingLoaded_ = false;
  bool portDialogAsked_ = false;
};

// Boxes are collected for the report; the end of the program (the console's "Communication
// Error!" after a reader vanished) goes through the hook, which reports and exits.
class HeadlessShell : public platform::Shell {
 public:
  using EndHook = std::function<void(int status)>;
  void messageBox(const std::string& text, const std::string& title, platform::MsgIcon) override {
    boxes_.push_back(title + ": " + text);
  }
  [[noreturn]] void endProgram(int status) override;
  void setEndHook(EndHook hook) { endHook_ = std::move(hook); }
  const std::vector<std::string>& boxes() const { return boxes_; }

 private:
  std::vector<std::string> boxes_;
  EndHook endHook_;
};

// The serial control as the console has it, noting each command written and the bytes that
// came back before the next one: the report's replies come from here, never from a second
// reading of the line. A close that follows an open with nothing written in between (the
// port dialog's OK opens, then closes and opens again with the new settings) keeps the
// device open, so the line is not opened twice for the same device.
class RecordingPort : public platform::SerialPort {
 public:
  struct Exchange {
    Bytes sent;
    Bytes received;
  };
  explicit RecordingPort(platform::SerialPort& port);

  void setCommPort(int port) override { port_.setCommPort(port); }
  int commPort() const override { return port_.commPort(); }
  void setSettings(const std::string& settings) override { port_.setSettings(settings); }
  std::string settings() const override { return port_.settings(); }
  void setHandshaking(int mode) override { port_.setHandshaking(mode); }
  int handshaking() const override { return port_.handshaking(); }
  bool portOpen() const override { return !held_ && port_.portOpen(); }
  [[nodiscard]] bool setPortOpen(bool open) override;
  void output(const Bytes& data) override;
  Bytes input() override;
  int inBufferCount() const override { return held_ ? 0 : port_.inBufferCount(); }
  void discardInput() override { port_.discardInput(); }
  int commEvent() const override { return port_.commEvent(); }
  std::string lastOpenError() const override { return port_.lastOpenError(); }

  const std::vector<Exchange>& exchanges() const { return exchanges_; }
  // The reply to the last time `command` was written; nullopt when it never was.
  std::optional<Bytes> replyTo(const Bytes& command) const;
  std::function<void()> onFirstOutput;

 private:
  platform::SerialPort& port_;
  std::vector<Exchange> exchanges_;
  bool written_ = false;  // since the device was opened
  bool held_ = false;     // closed for the routine, still open on the device
  int heldPort_ = 0;
};

// A timer that never fires: `monitor` only listens, so the card-data fetch that a swipe
// would start stays off.
class IdleTimer : public platform::Timer {
 public:
  void setInterval(int ms) override { interval_ = ms; }
  int interval() const override { return interval_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool enabled() const override { return enabled_; }

 private:
  int interval_ = 0;
  bool enabled_ = false;
};

}  // namespace tkr::ctl
