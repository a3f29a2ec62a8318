#pragma once
// --trace: a line protocol on stdin/stdout through which scripts drive the running program
// the way an operator would, and read back what the window shows.
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

#include "core/protocol/bytes.h"
#include "core/protocol/monitor_format.h"

namespace tkr::console {
class Main_form;
}

namespace tkr::apps {

using protocol::EscapeBytes;

// NAME=value lines for the labels, check boxes, status panels and track boxes.
std::string StateDump(console::Main_form& window);

class TraceConsole : public QObject {
  Q_OBJECT

 public:
  // swipe(name) swipes a simulated card; empty when there is no simulated reader. It
  // returns false for an unknown card.
  using Swipe = std::function<bool(const std::string& name)>;

  TraceConsole(console::Main_form& window, Swipe swipe);

  // After the load: the dump, then READY; from then on commands are read from stdin.
  void started();
  // One command line: dump, monitor, ping, click NAME (FORM.NAME in a shown dialog),
  // fill FORM.BOX TEXT, send TEXT, choose CODE, swipe NAME, shot NAME FILE, resize W H, quit.
  void execute(const std::string& raw);

  static void print(const std::string& text);

 private:
  void readInput();

  console::Main_form& window_;
  Swipe swipe_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::string pending_;
};

}  // namespace tkr::apps
