#include "apps/trace_console.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <cstdio>

#include "console/main_form.h"

namespace tkr::apps {

namespace {

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// FORM.NAME: the control NAME of the shown dialog FORM ("FixCode_Form.OKCmdBtn").
template <class W>
W* DialogControl(const std::string& name) {
  const auto dot = name.find('.');
  if (dot == std::string::npos) return nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible() && top->objectName().toStdString() == name.substr(0, dot)) {
      return top->findChild<W*>(QString::fromStdString(name.substr(dot + 1)));
    }
  }
  return nullptr;
}

}  // namespace

std::string StateDump(console::Main_form& window) {
  const link::MainView& v = window.module().view();
  const std::pair<const char*, link::Control*> labels[] = {
      {"FWLabel", v.FWLabel},
      {"COMPortLabel", v.COMPortLabel},
      {"BaudRateLabel", v.BaudRateLabel},
      {"ParityLabel", v.ParityLabel},
      {"RTSLabel", v.RTSLabel},
      {"CTSLabel", v.CTSLabel},
      {"SelfArmLabel", v.SelfArmLabel},
      {"LRCLabel", v.LRCLabel},
      {"SSESLabel", v.SSESLabel},
      {"ProtocolLabel", v.ProtocolLabel},
      {"JISLabel", v.JISLabel},
      {"BuzzerLabel", v.BuzzerLabel},
      {"BusyTextLabel", v.BusyTextLabel},
      {"CardTypeLabel", v.CardTypeLabel},
  };
  const std::pair<const char*, link::CheckControl*> boxes[] = {
      {"BuzzerCheckBox", v.BuzzerCheckBox},   {"SSESCheckBox", v.SSESCheckBox},
      {"SelfArmCheckBox", v.SelfArmCheckBox}, {"LRCCheckBox", v.LRCCheckBox},
      {"JISCheckBox", v.JISCheckBox},         {"TK1CheckBox", v.TK1CheckBox},
      {"TK2CheckBox", v.TK2CheckBox},         {"TK3CheckBox", v.TK3CheckBox},
  };
  std::string out;
  for (const auto& [name, control] : labels) {
    out += std::string(name) + "=" + EscapeBytes(control->caption()) + "\n";
  }
  for (const auto& [name, box] : boxes) {
    out += std::string(name) + "=" + std::to_string(box->value()) +
           (box->enabled() ? "" : " disabled") + "\n";
  }
  out += "Panel2=" + EscapeBytes(v.StatusPanels[1]->caption()) + "\n";
  out += "Panel4=" + EscapeBytes(v.StatusPanels[3]->caption()) + "\n";
  out += "Track1TextBox=" + EscapeBytes(v.Track1TextBox->caption()) + "\n";
  out += "Track2TextBox=" + EscapeBytes(v.Track2TextBox->caption()) + "\n";
  out += "Track3TextBox=" + EscapeBytes(v.Track3TextBox->caption()) + "\n";
  // Which dialogs are open, so a script can tell that the port dialog came up.
  using platform::FormId;
  const std::pair<const char*, FormId> forms[] = {{"Detecting_form", FormId::Detecting},
                                                  {"ComPort_form", FormId::ComPort},
                                                  {"CardType_Form", FormId::CardType},
                                                  {"FixCode_Form", FormId::FixCode},
                                                  {"Info_Form", FormId::Info}};
  std::string open;
  for (const auto& [name, id] : forms) {
    if (!window.module().forms().loaded(id)) continue;
    // Appended piece by piece: "," + std::string trips GCC 12's -Wrestrict in Release.
    if (!open.empty()) open += ',';
    open += name;
  }
  out += "Dialogs=" + open + "\n";
  return out;
}

TraceConsole::TraceConsole(console::Main_form& window, Swipe swipe)
    : window_(window), swipe_(std::move(swipe)) {}

void TraceConsole::print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void TraceConsole::started() {
  print(StateDump(window_) + "READY\n");
  notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readInput(); });
}

void TraceConsole::readInput() {
  char buffer[4096];
  const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (n <= 0) {
    notifier_->setEnabled(false);  // end of input: the program runs on until it is closed
    return;
  }
  pending_.append(buffer, static_cast<std::size_t>(n));
  std::size_t end;
  while ((end = pending_.find('\n')) != std::string::npos) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    // A command may start an exchange whose wait pumps events for seconds. Run inside this
    // handler, it would hold back the lines after it in the same read, and the notifier
    // would not fire again until the handler returned; so each line runs from the event
    // queue, in order, and one read during a wait (a ping) is answered inside that wait.
    QMetaObject::invokeMethod(
        this, [this, line = std::move(line)] { execute(line); }, Qt::QueuedConnection);
  }
}

void TraceConsole::execute(const std::string& raw) {
  // Strip only the line end: a typed command may well end in spaces.
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto space = line.find(' ');
  const std::string verb = space == std::string::npos ? line : line.substr(0, space);
  const std::string arg = space == std::string::npos ? std::string() : line.substr(space + 1);
  link::Module1& module = window_.module();

  // Every command acts once the exchange in progress has ended, as a patient operator would,
  // so a script's click is never swallowed by a running wait.
  if (verb == "dump") {
    module.RunWhenIdle([this] { print(StateDump(window_) + "END\n"); });
  } else if (verb == "ping") {
    // Answered at once, even inside a wait: how long it takes is how busy the event loop is.
    print(module.ExchangeActive() ? "PONG busy\n" : "PONG idle\n");
  } else if (verb == "monitor") {
    // The monitor's lines as they stand (hex dumps and headers only), then END.
    module.RunWhenIdle([this] {
      std::string text = window_.module().view().txtReceive->text();
      std::erase(text, '\r');
      print(text + (text.empty() || text.back() == '\n' ? "" : "\n") + "END\n");
    });
  } else if (verb == "click") {
    const std::string name = Trim(arg);
    module.RunWhenIdle([this, name] {
      auto* button = DialogControl<QAbstractButton>(name);
      if (button) button->click();
      if (!button && !window_.clickControl(name.c_str())) print("ERROR no control " + name + "\n");
    });
  } else if (verb == "fill") {
    // fill FORM.BOX TEXT: the operator enters a dialog's box and types TEXT over what it
    // holds, so the box's own checks (length, hex digits) apply as they do to typing.
    const auto gap = arg.find(' ');
    const std::string name = arg.substr(0, gap);
    const std::string text = gap == std::string::npos ? std::string() : arg.substr(gap + 1);
    module.RunWhenIdle([name, text] {
      auto* box = DialogControl<QLineEdit>(name);
      if (!box) {
        print("ERROR no box " + name + "\n");
        return;
      }
      box->setFocus(Qt::MouseFocusReason);
      box->selectAll();
      box->insert(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    });
  } else if (verb == "send") {
    module.RunWhenIdle([this, arg] {
      window_.typeCommand(QString::fromLatin1(arg.data(), static_cast<qsizetype>(arg.size())));
    });
  } else if (verb == "choose") {
    const std::string code = Trim(arg);
    module.RunWhenIdle([this, code] {
      bool ok = false;
      const int item = QString::fromStdString(code).toInt(&ok);
      if (!ok || !window_.chooseCommand(item)) print("ERROR no item " + code + "\n");
    });
  } else if (verb == "swipe") {
    const std::string name = Trim(arg);
    if (!swipe_) {
      print("ERROR no simulated reader\n");
    } else if (!swipe_(name)) {
      print("ERROR no card " + name + "\n");
    }
  } else if (verb == "shot") {
    // shot NAME FILE: a picture of the main window or an open dialog, by its name.
    const std::string rest = Trim(arg);
    const auto gap = rest.find(' ');
    const QString name = QString::fromStdString(rest.substr(0, gap));
    const QString file =
        QString::fromStdString(gap == std::string::npos ? "" : Trim(rest.substr(gap)));
    module.RunWhenIdle([this, name, file] {
      QWidget* target = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->objectName() == name) target = top;
      }
      if (name == "Main_form") target = &window_;
      if (!target || file.isEmpty() || !target->grab().save(file)) {
        print("ERROR no picture of " + name.toStdString() + "\n");
      } else {
        print("SHOT " + file.toStdString() + "\n");
      }
    });
  } else if (verb == "resize") {
    // resize W H: the main window's client area in pixels, as the operator's drag would.
    int w = 0, h = 0;
    if (std::sscanf(arg.c_str(), "%d %d", &w, &h) == 2 && w > 0 && h > 0) {
      window_.resize(w, h);
    } else {
      print("ERROR resize takes a width and a height\n");
    }
  } else if (verb == "quit") {
    window_.close();  // the window's unload ends the program
  } else if (!Trim(verb).empty()) {
    print("ERROR unknown command " + verb + "\n");
  }
}

}  // namespace tkr::apps
