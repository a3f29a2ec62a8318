// tkr520ctl: the console's own routines on a QCoreApplication with headless controls.
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>

#include "apps/tkr520ctl/ctl_args.h"
#include "apps/tkr520ctl/headless.h"
#include "core/protocol/card_mask.h"
#include "core/protocol/host_commands.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"
#include "core/protocol/replies.h"
#include "platform/qt/port_listing.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer.h"

namespace tkr::ctl {
namespace {

namespace pq = platform::qt;
using link::MainView;

QString Text(const Bytes& b) { return QString::fromLatin1(protocol::EscapeBytes(b)); }

// A label's stored caption as it reads on screen ("No SS&&ES" reads "No SS&ES").
std::string Shown(const Bytes& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') ++i;
    out += caption[i];
  }
  return out;
}

std::string HexOf(const Bytes& b) {
  std::string h = protocol::HexDumpLine(b);
  return h.substr(0, h.size() - 2);
}

class Report {
 public:
  Report(bool json, std::string command) : json_(json) { obj_["command"] = QString::fromStdString(command); }
  void line(const std::string& text) { text_ += text + "\n"; }
  void text(const std::string& lines) { text_ += lines; }
  QJsonObject& obj() { return obj_; }
  [[noreturn]] void finish(int status, const std::string& error = {}) {
    obj_["status"] = status;
    if (!error.empty()) obj_["error"] = QString::fromStdString(error);
    if (json_) {
      std::cout << QJsonDocument(obj_).toJson(QJsonDocument::Compact).toStdString() << std::endl;
    } else {
      std::cout << text_ << std::flush;
      if (!error.empty()) std::cerr << "tkr520ctl: " << error << std::endl;
    }
    std::fflush(stdout);
    std::_Exit(status);
  }

 private:
  bool json_;
  std::string text_;
  QJsonObject obj_;
};

struct CurrentRow {
  const char* caption;
  const char* key;
  link::Control* MainView::*label;
};
const CurrentRow kCurrent[] = {
    {"COM Port", "com_port", &MainView::COMPortLabel}, {"Baud Rate", "baud_rate", &MainView::BaudRateLabel},
    {"Bit & Parity", "parity", &MainView::ParityLabel}, {"RTS", "rts", &MainView::RTSLabel},
    {"CTS", "cts", &MainView::CTSLabel}, {"Self-Arm Mode", "selfarm", &MainView::SelfArmLabel},
    {"LRC", "lrc", &MainView::LRCLabel}, {"SS & ES", "sses", &MainView::SSESLabel},
    {"Protocol", "protocol", &MainView::ProtocolLabel}, {"JIS Read Head", "jis", &MainView::JISLabel},
    {"Buzzer", "buzzer", &MainView::BuzzerLabel}, {"Card Type", "card_type", &MainView::CardTypeLabel},
    {"F/W Ver.", "firmware", &MainView::FWLabel},
};

int gSignalPipe[2] = {-1, -1};
void OnSigint(int) {
  const char c = 1;
  (void)!write(gSignalPipe[1], &c, 1);
}

class Session {
 public:
  Session(const Options& o, bool listenOnly)
      : options_(o),
        serial_(pq::PortMap::Build(o.ports, o.systemPorts)),
        port_(serial_),
        forms_(view_),
        m_(Edition::Current,
           link::Platform{port_, t1_, t2_, listenOnly ? static_cast<platform::Timer&>(idle_) : t3_,
                          pump_, shell_, forms_},
           view_.main()) {
    forms_.attach(&m_);
    const std::pair<link::CheckControl* MainView::*, link::Toggle> boxes[] = {
        {&MainView::BuzzerCheckBox, link::Toggle::Buzzer}, {&MainView::JISCheckBox, link::Toggle::JIS},
        {&MainView::LRCCheckBox, link::Toggle::LRC}, {&MainView::SelfArmCheckBox, link::Toggle::SelfArm},
        {&MainView::SSESCheckBox, link::Toggle::SSES}, {&MainView::RTSCheckBox, link::Toggle::RTS},
        {&MainView::CTSCheckBox, link::Toggle::CTS}};
    for (auto [box, toggle] : boxes) {
      view_.check(box).onClick = [this, t = toggle] { m_.ToggleClicked(t); };
    }
  }

  link::Module1& m() { return m_; }
  HeadlessView& view() { return view_; }
  RecordingPort& port() { return port_; }
  std::string label(link::Control* MainView::*l) { return Shown(view_.label(l).caption()); }

  // The reader's port: --com as the port dialog's OK opens it, else the start-up detection.
  void connect(Report& report) {
    shell_.setEndHook([&report](int) { report.finish(1, "the reader stopped answering"); });
    m_.CommandTable.BuildCommandTable();
    m_.ReplyStatusEnabled = true;
    t1_.setInterval(link::Module1::kQuietTimeMs);
    m_.TimeBase = 100;  // what the detection sets: 2 s reply time-outs
    if (options_.com) {
      const auto parts = protocol::SplitSettings(options_.settings);
      m_.PortNumber = options_.com;
      m_.BaudSetting = parts.baud;
      m_.FrameSetting = parts.frame;
      port_.setCommPort(options_.com);
      port_.setSettings(options_.settings);
      m_.ApplyPortSettings();
      if (m_.PortFailed || !port_.portOpen()) {
        report.finish(1, "COM" + std::to_string(options_.com) + ": " + serial_.lastOpenError());
      }
      if (view_.main().FWLabel->caption().empty()) {
        report.finish(1, "no answer from the reader on COM" + std::to_string(options_.com));
      }
    } else {
      m_.DetectStep = 0;
      m_.AutoDetect();
      if (!port_.portOpen()) report.finish(1, "no reader answered on COM1..COM16");
    }
  }

  // Pumps events until done() or ms pass.
  void waitUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(ms);
    while (!done() && !deadline.hasExpired()) pump_.waitForEvents();
  }

 private:
  Options options_;
  pq::QtSerialPort serial_;
  RecordingPort port_;
  pq::QtTimer t1_, t2_, t3_;
  IdleTimer idle_;
  pq::QtEventPump pump_;
  HeadlessShell shell_;
  HeadlessView view_;
  HeadlessForms forms_;
  link::Module1 m_;
};

std::string FieldValue(Session& s, const Field& f) {
  const std::string caption = s.label(f.label);
  if (f.kind == FieldKind::Protocol || caption.empty()) return caption;
  return caption == f.onCaption ? "on" : "off";
}

void PutStatus(Session& s, Report& r) {
  QJsonObject labels, settings;
  for (const CurrentRow& row : kCurrent) {
    r.line(std::string(row.caption) + ": " + protocol::EscapeBytes(s.label(row.label)));
    labels[row.key] = Text(s.label(row.label));
  }
  for (const Field& f : Fields()) {
    if (f.label) settings[f.name] = QString::fromStdString(FieldValue(s, f));
  }
  r.obj()["current_settings"] = labels;
  r.obj()["settings"] = settings;
}

bool NoAnswerSince(Session& s, std::size_t mark) {
  const auto& ex = s.port().exchanges();
  for (std::size_t i = mark; i < ex.size(); ++i) {
    if (ex[i].received.empty()) return true;
  }
  return false;
}

// Runs the changes as the window's controls send them and compares the read-back.
void ApplyChanges(Session& s, Report& r, const std::vector<Change>& asked) {
  link::Module1& m = s.m();
  // RTS and CTS go through the console's interlock: CTS changes only while RTS is on, RTS
  // only while CTS is off. Their boxes are clicked in the order it lets through (RTS first
  // when CTS ends on, else CTS first), at the place of the first of them; whether it lets
  // them through at all depends on what the reader reports now.
  const int rts = s.view().check(&MainView::RTSCheckBox).value();
  const int cts = s.view().check(&MainView::CTSCheckBox).value();
  const Change* rtsChange = nullptr;
  const Change* ctsChange = nullptr;
  std::string named;
  for (const Change& c : asked) {
    if (c.field->kind != FieldKind::Toggle) continue;
    if (c.field->toggle == link::Toggle::RTS) rtsChange = &c;
    if (c.field->toggle == link::Toggle::CTS) ctsChange = &c;
  }
  for (const Change* c : {rtsChange, ctsChange}) {
    if (c) named += (named.empty() ? "" : " ") + std::string(c->field->name) + "=" + c->text;
  }
  const int wantRts = rtsChange ? rtsChange->value : rts;
  const int wantCts = ctsChange ? ctsChange->value : cts;
  if (wantRts != rts || wantCts != cts) {
    if (!rts && cts) {
      r.finish(2, named +
                      ": the reader reports RTS off with CTS on, where the interlock changes "
                      "neither (CTS only while RTS is on, RTS only while CTS is off); run "
                      "defaults first");
    }
    if (!wantRts && wantCts) {
      r.finish(2, rtsChange ? "rts=off: the reader's CTS is on, and RTS changes only while CTS "
                              "is off; add cts=off"
                            : "cts=on: the reader's RTS is off, and CTS changes only while RTS "
                              "is on; add rts=on");
    }
  }
  const Change* firstOfPair =
      rtsChange && ctsChange ? std::min(rtsChange, ctsChange) : (rtsChange ? rtsChange : ctsChange);
  std::vector<Change> changes;
  for (const Change& c : asked) {
    if (&c == firstOfPair) {
      for (const Change* p :
           wantCts ? std::array{rtsChange, ctsChange} : std::array{ctsChange, rtsChange}) {
        if (p) changes.push_back(*p);
      }
    } else if (&c != rtsChange && &c != ctsChange) {
      changes.push_back(c);
    }
  }
  const std::size_t mark = s.port().exchanges().size();
  link::CodeSettings codes{};
  bool anyCode = false, protocolAsked = false;
  std::vector<std::pair<const Change*, std::size_t>> acked;  // change and its frame's exchange
  for (const Change& c : changes) {
    switch (c.field->kind) {
      case FieldKind::Toggle: {
        link::CheckControl* MainView::*box = nullptr;
        static const std::pair<link::Toggle, link::CheckControl* MainView::*> kBoxes[] = {
            {link::Toggle::Buzzer, &MainView::BuzzerCheckBox}, {link::Toggle::JIS, &MainView::JISCheckBox},
            {link::Toggle::LRC, &MainView::LRCCheckBox}, {link::Toggle::SelfArm, &MainView::SelfArmCheckBox},
            {link::Toggle::SSES, &MainView::SSESCheckBox}, {link::Toggle::RTS, &MainView::RTSCheckBox},
            {link::Toggle::CTS, &MainView::CTSCheckBox}};
        for (auto [t, b] : kBoxes) {
          if (t == c.field->toggle) box = b;
        }
        s.view().check(box).setValue(c.value);  // the operator's click, when it changes the box
        break;
      }
      case FieldKind::Protocol:
        m.ReaderProtocol = c.value;
        m.SendProtocolSetting();
        s.waitUntil([&m] { return !m.AwaitingReply; }, link::Module1::kReplyTimeoutUnits * m.TimeBase);
        protocolAsked = true;
        break;
      case FieldKind::Tracks:
        s.view().check(&MainView::TK1CheckBox).setQuietly(c.value & 1);
        s.view().check(&MainView::TK2CheckBox).setQuietly((c.value >> 1) & 1);
        s.view().check(&MainView::TK3CheckBox).setQuietly((c.value >> 2) & 1);
        acked.push_back({&c, s.port().exchanges().size()});
        m.SendTrackSelection();
        break;
      case FieldKind::Code: {
        auto& g = codes[static_cast<std::size_t>(c.field->group)];
        g.useDefault = c.useDefault;
        g.boxes = c.boxes;
        anyCode = true;
        break;
      }
    }
  }
  if (anyCode) {
    const std::size_t first = s.port().exchanges().size();
    m.SendCodeSettings(codes);
    for (const Change& c : changes) {
      if (c.field->kind == FieldKind::Code) acked.push_back({&c, first + static_cast<std::size_t>(c.field->group)});
    }
  }
  if (protocolAsked) {
    m.RefreshConfigView();  // the dialog reads nothing back: the check's own read
  }
  if (NoAnswerSince(s, mark)) r.finish(1, "the reader did not answer");
  QJsonArray fields;
  std::string notTaken;
  for (const Change& c : changes) {
    std::string reported;
    bool taken = false;
    if (c.field->label) {
      reported = FieldValue(s, *c.field);
      taken = reported == (c.field->kind == FieldKind::Toggle ? (c.value ? "on" : "off") : c.text);
    } else {
      for (auto [change, index] : acked) {
        if (change != &c) continue;
        const auto& ex = s.port().exchanges();
        reported = index < ex.size() ? protocol::StatusText(ex[index].received).value_or("no acknowledgement") : "not sent";
        taken = reported == "ACK";
      }
    }
    r.line(std::string(c.field->name) + "=" + c.text + (taken ? ": taken" : ": NOT taken, the reader reports " + reported));
    QJsonObject f;
    f["name"] = c.field->name;
    f["asked"] = QString::fromStdString(c.text);
    f["reported"] = QString::fromStdString(reported);
    f["taken"] = taken;
    fields.append(f);
    if (!taken) notTaken += (notTaken.empty() ? "" : " ") + std::string(c.field->name);
  }
  r.obj()["fields"] = fields;
  if (!notTaken.empty()) r.finish(3, "the reader did not take " + notTaken);
}

QJsonObject TrackJson(int track, const Bytes& data, bool showPan) {
  QJsonObject t;
  t["track"] = track;
  t["data"] = Text(showPan ? data : protocol::MaskTrack(track, data));
  if (const auto fin = protocol::ParseFinancialTrack(track, data)) {
    QJsonObject f;
    if (!fin->formatCode.empty()) f["format_code"] = QString::fromStdString(fin->formatCode);
    f["account_number"] = QString::fromStdString(showPan ? fin->pan : protocol::MaskPan(fin->pan));
    if (track == 1) f["name"] = Text(fin->name);
    f["expiry"] = QString::fromStdString(fin->expiry);
    f["service_code"] = QString::fromStdString(fin->serviceCode);
    t["fields"] = f;
  }
  return t;
}

void RunLoopUntilInterrupted() {
  if (pipe(gSignalPipe) == 0) {
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSigint);
    std::signal(SIGTERM, OnSigint);
  }
  QCoreApplication::exec();
}

std::vector<std::string> Rest(const std::vector<std::string>& w, std::size_t from) {
  return {w.begin() + static_cast<std::ptrdiff_t>(std::min(from, w.size())), w.end()};
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  const Options& o = parsed.options;
  const auto usage = [](const std::string& error) {
    std::cerr << "tkr520ctl: " << error << " (see --help)" << std::endl;
    return 2;
  };
  if (!parsed.error.empty()) return usage(parsed.error);
  if (o.help) {
    std::cout << UsageText();
    return 0;
  }
  const std::string cmd = o.words[0];
  const auto& w = o.words;
  std::vector<Change> changes;
  Bytes sendBytes;
  std::string profileFile;
  const bool plain = cmd == "ports" || cmd == "detect" || cmd == "status" || cmd == "defaults" ||
                     cmd == "capture" || cmd == "monitor";
  if (plain && w.size() > 1) return usage("unexpected word " + w[1]);
  if (cmd == "set") {
    const ParsedChanges c = ParseChanges(Rest(w, 1));
    if (!c.error.empty()) return usage(c.error);
    changes = c.changes;
  } else if (cmd == "send") {
    std::string error;
    if (o.hex) {
      const auto bytes = ParseHexWords(Rest(w, 1), error);
      if (!bytes) return usage(error);
      sendBytes = *bytes;
    } else {
      for (const auto& word : Rest(w, 1)) sendBytes += (sendBytes.empty() ? "" : " ") + word;
      if (sendBytes.empty()) return usage("send needs TEXT");
    }
  } else if (cmd == "profile") {
    if (w.size() != 3 || (w[1] != "save" && w[1] != "apply")) return usage("give profile save FILE or profile apply FILE");
    profileFile = w[2];
    if (w[1] == "apply") {
      std::ifstream in(profileFile, std::ios::binary);
      if (!in) return usage("cannot read " + profileFile);
      std::stringstream text;
      text << in.rdbuf();
      const ParsedChanges c = ParseProfile(text.str());
      if (!c.error.empty()) return usage(profileFile + ": " + c.error);
      changes = c.changes;
    }
  } else if (!plain) {
    return usage("unknown command " + cmd);
  }

  QCoreApplication app(argc, argv);
  Report report(o.json, cmd == "profile" ? "profile " + w[1] : cmd);

  if (cmd == "ports") {
    // The console's --list-ports, row for row.
    const auto rows = pq::GatherPortRows(pq::PortMap::Build(o.ports, o.systemPorts));
    report.text(pq::FormatPortRows(rows));
    const QByteArray json = QByteArray::fromStdString(pq::PortRowsJson(rows));
    report.obj()["ports"] = QJsonDocument::fromJson(json).array();
    report.finish(0);
  }

  Session s(o, cmd == "monitor");
  link::Module1& m = s.m();
  s.connect(report);

  if (cmd == "detect") {
    const int com = s.port().commPort();
    const auto parts = protocol::SplitSettings(s.port().settings());
    report.line("port: COM" + std::to_string(com));
    report.line("baud: " + parts.baud);
    report.line("firmware: " + protocol::EscapeBytes(s.label(&MainView::FWLabel)));
    report.obj()["port"] = com;
    report.obj()["baud"] = QString::fromStdString(parts.baud);
    report.obj()["firmware"] = Text(s.label(&MainView::FWLabel));
    report.finish(0);
  }
  if (cmd == "status" || (cmd == "profile" && w[1] == "save")) {
    const auto re1 = s.port().replyTo(m.CommandTable[protocol::Cmd::RE1]);
    if (!re1 || re1->empty()) report.finish(1, "the reader did not answer the configuration read");
    PutStatus(s, report);
    if (cmd == "profile") {
      QJsonObject profile = report.obj()["settings"].toObject();
      profile["format"] = kProfileFormat;
      profile["version"] = kProfileVersion;
      QFile file(QString::fromStdString(profileFile));
      if (!file.open(QIODevice::WriteOnly) ||
          file.write(QJsonDocument(profile).toJson()) < 0) {
        report.finish(1, "cannot write " + profileFile);
      }
      report.line("saved to " + profileFile);
    }
    report.finish(0);
  }
  if (cmd == "set" || cmd == "profile") {
    ApplyChanges(s, report, changes);
    report.finish(0);
  }
  if (cmd == "defaults") {
    const std::size_t mark = s.port().exchanges().size();
    m.DefaultButton_Click();
    const auto& ex = s.port().exchanges();
    if (ex.size() == mark || ex.back().received.empty()) report.finish(1, "the reader did not answer");
    PutStatus(s, report);
    report.finish(0);
  }
  if (cmd == "send") {
    const std::size_t mark = s.port().exchanges().size();
    int item = -1;
    for (const auto& row : protocol::HostCommandList()) {
      if (row.text == sendBytes && !o.hex) item = row.itemCode;
    }
    if (item >= 0) {
      m.txtSend_Click(item);
    } else {
      m.SendTyped(sendBytes);
    }
    const auto& ex = s.port().exchanges();
    Bytes sent, reply;
    for (std::size_t i = mark; i < ex.size(); ++i) {
      sent += ex[i].sent;
      reply += ex[i].received;
    }
    const std::string decoded = Shown(s.view().main().StatusPanels[3]->caption());
    report.line("sent: " + HexOf(sent));
    report.line("reply: " + HexOf(reply));
    if (!decoded.empty()) report.line("decoded: " + decoded);
    report.obj()["sent"] = QString::fromStdString(HexOf(sent));
    report.obj()["reply"] = QString::fromStdString(HexOf(reply));
    report.obj()["decoded"] = QString::fromStdString(decoded);
    if (reply.empty()) report.finish(1, "the reader did not answer");
    report.finish(0);
  }
  if (cmd == "capture") {
    int cards = 0;
    auto& track3 = s.view().label(&MainView::Track3TextBox);
    track3.onSet = [&](const Bytes&) {
      if (!m.FetchingCardData) return;
      // The fetch's last step: report once the routine has returned.
      QTimer::singleShot(0, [&] {
        ++cards;
        const std::string type = Shown(s.view().main().CardTypeLabel->caption());
        QJsonObject card;
        card["card"] = cards;
        card["type"] = Text(type);
        QJsonArray tracks;
        std::string text = "card " + std::to_string(cards) + ": " + protocol::EscapeBytes(type) + "\n";
        link::Control* MainView::*boxes[] = {&MainView::Track1TextBox, &MainView::Track2TextBox, &MainView::Track3TextBox};
        for (int t = 1; t <= 3; ++t) {
          const Bytes data = s.view().label(boxes[t - 1]).caption();
          const QJsonObject j = TrackJson(t, data, o.showPan);
          tracks.append(j);
          text += "  track " + std::to_string(t) + ": " + j["data"].toString().toStdString() + "\n";
        }
        card["tracks"] = tracks;
        if (o.json) {
          std::cout << QJsonDocument(card).toJson(QJsonDocument::Compact).toStdString() << std::endl;
        } else {
          std::cout << text << std::flush;
        }
        if (o.count && cards >= o.count) QCoreApplication::quit();
      });
    };
    if (o.timeoutS > 0) QTimer::singleShot(static_cast<int>(o.timeoutS * 1000), [] { QCoreApplication::quit(); });
    RunLoopUntilInterrupted();
    m.ClosePort();
    std::fflush(stdout);
    std::_Exit(o.count && cards < o.count ? 1 : 0);
  }
  if (cmd == "monitor") {
    s.view().monitor().setSink([&o](const std::string& record) {
      std::string stamp;
      if (o.timestamps) {
        stamp = QDateTime::currentDateTime().toString("HH:mm:ss.zzz ").toStdString();
      }
      if (o.json) {
        QJsonObject r;
        r["record"] = QString::fromLatin1(record.substr(0, 8));
        r["hex"] = QString::fromLatin1(record.substr(10, record.size() > 12 ? record.size() - 12 : 0));
        if (!stamp.empty()) r["time"] = QString::fromStdString(stamp.substr(0, 12));
        std::cout << QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString() << std::endl;
      } else {
        std::cout << stamp << record << std::flush;
      }
    });
    RunLoopUntilInterrupted();
    m.ClosePort();
    std::fflush(stdout);
    std::_Exit(0);
  }
  return 0;
}

}  // namespace tkr::ctl

int main(int argc, char** argv) { return tkr::ctl::Main(argc, argv); }
