#include "apps/console_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include "apps/trace_console.h"
#include "console/main_form.h"
#include "console/qt_forms.h"
#include "dialogs/comport_form.h"
#include "platform/qt/port_listing.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/single_instance.h"
#include "sim/pty_reader.h"
#include "sim/reader_model.h"

namespace tkr::apps {

namespace pq = platform::qt;

namespace {

constexpr int kDemoLimitMs = 15000;
constexpr int kDemoPollMs = 50;

const sim::Card* FindCard(const std::string& name) {
  const auto& cards = sim::SampleCards();
  if (name.empty() && !cards.empty()) return &cards.front();
  for (const sim::Card& card : cards) {
    if (card.name == name) return &card;
  }
  return nullptr;
}

// A small window beside the console standing in for the operator's hand at the reader.
QWidget* MakeSimulatorWindow(sim::PtyReader& reader) {
  auto* window = new QWidget;
  window->setObjectName(QStringLiteral("SimulatedReader"));
  window->setWindowTitle(QStringLiteral("Simulated reader"));
  auto* layout = new QVBoxLayout(window);
  for (const sim::Card& card : sim::SampleCards()) {
    auto* button = new QPushButton(QStringLiteral("Swipe: ") + QString::fromStdString(card.name));
    QObject::connect(button, &QPushButton::clicked, window,
                     [&reader, &card] { reader.swipe(card); });
    layout->addWidget(button);
  }
  auto* unplug = new QPushButton(QStringLiteral("Unplug"));
  QObject::connect(unplug, &QPushButton::clicked, window, [&reader] { reader.unplug(); });
  layout->addWidget(unplug);
  auto* replug = new QPushButton(QStringLiteral("Replug"));
  QObject::connect(replug, &QPushButton::clicked, window, [&reader] { reader.replug(); });
  layout->addWidget(replug);
  return window;
}

void QuietStartup(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::cerr << message.toLocal8Bit().constData() << "\n";
  }
}

// The signals that end a console from outside: SIGHUP at logout, SIGTERM from kill or
// timeout, SIGINT from Ctrl-C in the terminal that started it.
constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGTERM};

int stopSignalPipe = -1;  // the writing end, for the handler

void OnStopSignal(int signal) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(stopSignalPipe, &byte, 1);
  errno = saved;
}

// Turns a stop signal into the console's normal end on the event loop: the handler only
// writes the signal's number to a pipe, and the loop (the main one, or the nested one of a
// wait or a message box) reads it and ends the console as its Exit button does, so the port
// is closed, the lock file removed and the simulated reader's folder gone.
class StopSignals {
 public:
  StopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their default
    read_ = fds[0];
    stopSignalPipe = fds[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // From the next event loop on, a stop signal calls `stop`.
  void watch(QObject* context, std::function<void()> stop) {
    if (read_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(read_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context,
                     [this, stop = std::move(stop)] {
                       unsigned char byte = 0;
                       if (::read(read_, &byte, 1) != 1 || received_ != 0) return;
                       received_ = byte;
                       notifier_->setEnabled(false);
                       // Should the end itself hang, a second signal ends the process at once.
                       for (int signal : kStopSignals) std::signal(signal, SIG_DFL);
                       stop();
                     });
  }

  // After the console's own end: the process ends by the signal it was sent, as its parent
  // (a shell, timeout, a session manager) expects of a program that was stopped.
  void endBySignal() const {
    if (received_ == 0) return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, received_);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(received_);
  }

 private:
  int read_ = -1;
  int received_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

bool TracksFilled(console::Main_form& window) {
  link::Module1& m = window.module();
  const link::MainView& v = m.view();
  return !m.ExchangeActive() && !v.Track1TextBox->caption().empty() &&
         !v.Track2TextBox->caption().empty() && !v.Track3TextBox->caption().empty();
}

// --demo: one swipe on the simulated reader, then the monitor on stdout and a screenshot.
void RunDemo(console::Main_form& window, sim::PtyReader& reader, const Options& options,
             pq::QtShell& shell) {
  const sim::Card* card = FindCard({});
  if (card == nullptr) {
    std::cerr << "no sample card to swipe\n";
    shell.endProgram(1);
  }
  reader.swipe(*card);
  auto deadline = std::make_shared<QDeadlineTimer>(kDemoLimitMs);
  auto* poll = new QTimer(&window);
  QObject::connect(poll, &QTimer::timeout, &window, [&window, &options, &shell, deadline, poll] {
    const bool filled = TracksFilled(window);
    if (!filled && !deadline->hasExpired()) return;
    poll->stop();
    int status = 0;
    if (!filled) {
      std::cerr << "the track data did not arrive within " << kDemoLimitMs / 1000 << " s\n";
      status = 1;
    }
    TraceConsole::print(window.module().view().txtReceive->text());
    if (!options.screenshot.empty() &&
        !window.grab().save(QString::fromStdString(options.screenshot))) {
      std::cerr << "cannot save the screenshot to " << options.screenshot << "\n";
      status = 1;
    }
    shell.endProgram(status);
  });
  poll->start(kDemoPollMs);
}

}  // namespace

std::string UsageText(const char* programName) {
  return std::string("Usage: ") + programName +
         " [options]\n"
         "TKR520 magnetic stripe card reader demonstration console.\n\n"
         "  --port COMn=DEVICE   open DEVICE as COMn (n = 1..16); may be repeated\n"
         "  --no-system-ports    use only the --port devices\n"
         "  --simulate           run a simulated reader on COM1, with a window to swipe cards\n"
         "  --demo               start on the simulated reader, swipe one card, print the\n"
         "                       monitor and end\n"
         "  --screenshot FILE    with --demo: save a picture of the main window to FILE\n"
         "  --trace              print the window's state and take commands on stdin\n"
         "                       (dump, click NAME, send TEXT, choose CODE, swipe NAME, quit)\n"
         "  --list-ports         print the device behind each of COM1..COM16 and whether\n"
         "                       this user can open it, then end\n"
         "  --version            print the version and end\n"
         "  --help               show this text\n";
}

void SetWindowIcon() {
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tkr520.svg")));
}

void RefreshPortsBeforeShowing(console::QtForms& forms, platform::qt::QtSerialPort& serial) {
  forms.beforeShow = [&serial](platform::FormId form) {
    if (form != platform::FormId::Detecting && form != platform::FormId::ComPort) return;
    pq::PortMap map = serial.portMap();
    map.refresh();
    serial.setPortMap(std::move(map));
  };
}

int RunConsole(int argc, char** argv, Edition edition, const char* programName) {
  // The options are read before any GUI object exists: --help, --list-ports and a usage
  // error must work where no display can be reached.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.error.empty()) {
    std::cerr << programName << ": " << parsed.error << " (see --help)\n";
    return 2;
  }
  Options options = parsed.options;
  if (options.help) {
    std::cout << UsageText(programName);
    return 0;
  }
  if (options.version) {
    std::cout << programName << " " << TKR_VERSION << "\n";
    return 0;
  }
  if (options.listPorts) {
    QCoreApplication core(argc, argv);
    const auto rows = pq::GatherPortRows(pq::PortMap::Build(options.ports, options.systemPorts));
    std::cout << pq::FormatPortRows(rows);
    return 0;
  }

  // QApplication takes its own options (-platform ...) out of argv. Its start-up notes (a
  // missing runtime directory on a headless machine) would drown the console's own lines.
  const QtMessageHandler previous = qInstallMessageHandler(QuietStartup);
  QApplication app(argc, argv);
  qInstallMessageHandler(previous);
  QApplication::setApplicationName(QString::fromLatin1(programName));
  QApplication::setQuitOnLastWindowClosed(false);  // the end goes through the main window
  SetWindowIcon();
  // Before the lock and the simulated reader exist, so that neither outlives a stop signal.
  StopSignals stopSignals;

  pq::SingleInstance instance(QString::fromLatin1(programName));
  if (!instance.tryAcquire()) return 0;  // another one runs: end silently

  std::unique_ptr<sim::PtyReader> reader;
  if (options.simulate || options.demo) {
    try {
      reader = std::make_unique<sim::PtyReader>();
    } catch (const std::exception& e) {
      std::cerr << programName << ": cannot start the simulated reader: " << e.what() << "\n";
      return 1;
    }
    options.ports.push_back({1, reader->path()});  // last, so it wins over a --port COM1
  }

  pq::QtSerialPort serial(pq::PortMap::Build(options.ports, options.systemPorts));
  pq::QtTimer timer1, timer2, timer3;
  pq::QtEventPump pump;
  pq::QtShell shell;
  console::QtForms forms;
  link::Platform platform{serial, timer1, timer2, timer3, pump, shell, forms};

  // Why each number last failed to open, for the tool tips; empty once it opened.
  std::map<int, std::string> failures;
  dialogs::ComPort_form::setPortDescriber([&serial, &failures](int port) {
    const std::string reason = failures[port];
    return serial.portMap().describe(port) + (reason.empty() ? "" : "\n" + reason);
  });
  RefreshPortsBeforeShowing(forms, serial);
  // The process ends with _Exit; the simulated reader's link and the lock must not outlive it.
  shell.setEndHook([&reader, &instance, &stopSignals](int) {
    if (reader) reader->stop();
    instance.release();
    stopSignals.endBySignal();
  });

  console::Main_form window(edition, platform);
  shell.setOwner(&window);
  stopSignals.watch(&window, [&window] { window.module().ExitButton_Click(); });
  // No message box (a port that will not open fails silently): the reason goes to the tool
  // tips and, once per change, to standard error. Numbers without a device stay quiet, or
  // every detection would list them all.
  serial.onOpenAttempt = [&serial, &failures, &window, programName](bool opened) {
    const int port = serial.commPort();
    const std::string reason = opened ? std::string() : serial.lastOpenError();
    const std::string device = serial.device().toStdString();
    if (!opened && !device.empty() && failures[port] != reason) {
      std::cerr << programName << ": COM" << port << " (" << device << "): " << reason << "\n";
    }
    failures[port] = reason;
    if (auto* label = window.findChild<QLabel*>(QStringLiteral("COMPortLabel"))) {
      label->setToolTip(
          QString::fromStdString(opened ? device : "COM" + std::to_string(port) + ": " + reason));
    }
  };

  std::unique_ptr<QWidget> simulator;
  if (reader && !options.demo) {
    simulator.reset(MakeSimulatorWindow(*reader));
    simulator->show();
  }
  std::unique_ptr<TraceConsole> trace;
  if (options.trace) {
    TraceConsole::Swipe swipe;
    if (reader) {
      swipe = [&reader](const std::string& name) {
        const sim::Card* card = FindCard(name);
        if (card != nullptr) reader->swipe(*card);
        return card != nullptr;
      };
    }
    trace = std::make_unique<TraceConsole>(window, swipe);
    // A script cannot press OK: boxes are reported instead of shown.
    shell.setBoxHook([](const std::string& text, const std::string& title, platform::MsgIcon) {
      TraceConsole::print("BOX " + EscapeBytes(title) + ": " + EscapeBytes(text) + "\n");
    });
  }

  QTimer::singleShot(0, &window, [&] {
    window.Load();
    if (trace) trace->started();
    if (options.demo) RunDemo(window, *reader, options, shell);
  });
  const int status = QApplication::exec();
  shell.endProgram(status);
}

}  // namespace tkr::apps
