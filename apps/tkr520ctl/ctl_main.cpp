// tkr520ctl: the console's own routines on a QCoreApplication, through the reader API.
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "apps/tkr520ctl/apply.h"
#include "apps/tkr520ctl/ctl_args.h"
#include "apps/tkr520ctl/station.h"
#include "core/link/reader.h"
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
using link::Outcome;
using protocol::ConfigItem;

constexpr int kExitInterrupted = 130;  // what shells expect of a program ended by Ctrl-C

QString Text(const Bytes& b) {
  return QString::fromLatin1(protocol::EscapeBytes(b));
}
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// A caption as it reads on screen ("No SS&&ES" reads "No SS&ES").
std::string Shown(std::string_view caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') ++i;
    out += caption[i];
  }
  return out;
}

std::string HexOf(const Bytes& b) {
  const std::string h = protocol::HexDumpLine(b);
  return h.substr(0, h.size() - 2);
}

// Control characters escaped, line breaks kept: a reason may list one port a line.
std::string EscapedLines(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    out += (at ? "\n" : "") + protocol::EscapeBytes(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// Standard output, with every failure to write noted: a report that did not reach its reader
// is no success.
class Output {
 public:
  void write(const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) fail();
  }
  void flush() {
    if (std::fflush(stdout) != 0) fail();
  }
  bool failed() const { return failed_; }
  std::string reason() const { return std::strerror(errno_); }

 private:
  void fail() {
    if (!failed_) errno_ = errno;
    failed_ = true;
  }
  bool failed_ = false;
  int errno_ = 0;
};

// One run's report: text lines, or with --json one object ("schema": 1) carrying the status
// and the error; the error also goes to standard error as one line.
class Report {
 public:
  Report(Output& out, bool json, const std::string& command) : out_(out), json_(json) {
    obj_["schema"] = 1;
    obj_["command"] = Q(command);
  }
  void line(const std::string& text) { text_ += text + "\n"; }
  void text(const std::string& lines) { text_ += lines; }
  QJsonObject& obj() { return obj_; }
  bool json() const { return json_; }
  // Writes the report; the status, or 1 when it could not be written.
  int finish(int status, const std::string& error = {}) {
    return write(status, EscapedLines(error));
  }
  // The reader API's reasons quote what the device sent already escaped.
  int fail(const Outcome& o, int status = 1) { return write(status, o.reason); }

 private:
  int write(int status, const std::string& error) {
    obj_["status"] = status;
    if (!error.empty()) obj_["error"] = QString::fromLatin1(error);
    out_.write(json_ ? QJsonDocument(obj_).toJson(QJsonDocument::Compact).toStdString() + "\n"
                     : text_);
    out_.flush();
    if (!error.empty()) std::cerr << "tkr520ctl: " << error << std::endl;
    if (out_.failed()) {
      std::cerr << "tkr520ctl: cannot write standard output: " << out_.reason() << std::endl;
      return 1;
    }
    return status;
  }

  Output& out_;
  bool json_;
  std::string text_;
  QJsonObject obj_;
};

struct CurrentRow {
  const char* caption;
  const char* key;
  std::optional<ConfigItem> item;
};
const CurrentRow kCurrent[] = {
    {"RTS", "rts", ConfigItem::RTS},
    {"CTS", "cts", ConfigItem::CTS},
    {"Self-Arm Mode", "selfarm", ConfigItem::SelfArm},
    {"LRC", "lrc", ConfigItem::LRC},
    {"SS & ES", "sses", ConfigItem::SSES},
    {"Protocol", "protocol", ConfigItem::Protocol},
    {"JIS Read Head", "jis", ConfigItem::JIS},
    {"Buzzer", "buzzer", ConfigItem::Buzzer},
};

void PutPort(Session& s, Report& r) {
  r.obj()["port"] = Q(s.com());
  r.obj()["device"] = Q(s.device());
}

// The "Current Settings" panel as the reader's last configuration answer fills it.
void PutStatus(Session& s, Report& r) {
  const link::Reader& reader = s.reader();
  const auto parts = protocol::SplitSettings(reader.settings());
  QJsonObject labels;
  const auto row = [&](const char* caption, const char* key, const std::string& value) {
    r.line(std::string(caption) + ": " + protocol::EscapeBytes(value));
    labels[key] = Text(value);
  };
  row("COM Port", "com_port", std::to_string(reader.port()));
  row("Baud Rate", "baud_rate", parts.baud);
  row("Bit & Parity", "parity", parts.frame);
  for (const CurrentRow& c : kCurrent)
    row(c.caption, c.key, Shown(reader.readerSettings().caption(*c.item).value_or("")));
  row("F/W Ver.", "firmware", reader.firmware());
  PutPort(s, r);
  r.obj()["current_settings"] = labels;
  r.obj()["settings"] = SettingsJson(reader.readerSettings());
}

// Reader data as shown: account numbers masked unless asked for whole.
Bytes Masked(const Bytes& data, bool showPan) {
  return showPan ? data : protocol::MaskCardNumbers(data);
}

// The verdict of each change, as lines and as "fields"; "changed" tells whether more than the
// read-back went out.
int ReportApplied(Session& s, Report& r, const Applied& a) {
  if (a.status == 2) return r.finish(2, a.error);
  QJsonArray fields;
  for (const Verdict& v : a.verdicts) {
    const Change& c = *v.change;
    const std::string shown = protocol::EscapeBytes(v.reported);
    r.line(std::string(c.field->name) + "=" + c.text +
           (!v.taken     ? ": NOT taken, the reader reports " + shown
            : !v.sent    ? ": already set"
            : v.verified ? ": taken"
                         : ": acknowledged (no read-back)"));
    QJsonObject f;
    f["name"] = c.field->name;
    f["asked"] = Q(c.text);
    f["before"] = Q(v.before);
    f["reported"] = Text(v.reported);
    f["sent"] = v.sent;
    f["taken"] = v.taken;
    f["verified"] = v.verified && v.taken;
    fields.append(f);
  }
  r.obj()["fields"] = fields;
  r.obj()["changed"] = a.changed();
  r.obj()["before"] = SettingsJson(a.before);
  r.obj()["after"] = SettingsJson(a.after);
  PutPort(s, r);
  if (a.status == 1) return r.fail(a.outcome);
  return r.finish(a.status, a.error);
}

// profile apply --check and profile diff: the read-back against the profile, nothing sent.
// Check prints each field's now and wanted; diff the unified shape, the reader's side first.
int ReportComparison(Session& s, Report& r, const std::vector<Change>& wanted, bool asDiff,
                     const std::string& profileFile) {
  const auto compared = Compare(s.reader().readerSettings(), wanted);
  QJsonArray fields;
  std::string diff = "--- " + s.com() + " " + s.device() + "\n+++ " + profileFile + "\n" +
                     "@@ -1," + std::to_string(compared.size()) + " +1," +
                     std::to_string(compared.size()) + " @@\n";
  bool differs = false;
  for (const Comparison& c : compared) {
    const std::string name = c.change->field->name;
    const std::string now = c.now.empty() ? "(no read-back)" : c.now;
    differs = differs || c.differs;
    diff += c.differs ? "-" + name + "=" + now + "\n+" + name + "=" + c.change->text + "\n"
                      : " " + name + "=" + now + "\n";
    if (!asDiff) {
      r.line(name + ": now " + (c.now.empty() ? "unknown (no read-back)" : c.now) + ", wanted " +
             c.change->text +
             (!c.differs      ? ""
              : c.now.empty() ? ": would send"
                              : ": would change"));
    }
    QJsonObject f;
    f["name"] = Q(name);
    f["now"] = Q(c.now);
    f["wanted"] = Q(c.change->text);
    f["differs"] = c.differs;
    fields.append(f);
  }
  r.obj()["fields"] = fields;
  PutPort(s, r);
  if (!asDiff) {
    r.obj()["changed"] = differs;
    return r.finish(0);
  }
  if (differs) r.text(diff);
  r.obj()["equal"] = !differs;
  r.obj()["diff"] = differs ? Q(diff) : QString();
  return r.finish(differs ? 1 : 0);
}

QJsonObject TrackJson(int track, const Bytes& data, bool showPan) {
  QJsonObject t;
  t["track"] = track;
  t["data"] = Text(Masked(data, showPan));
  if (const auto fin = protocol::ParseFinancialTrack(track, data)) {
    QJsonObject f;
    if (!fin->formatCode.empty()) f["format_code"] = Q(fin->formatCode);
    f["account_number"] = Q(showPan ? fin->pan : protocol::MaskPan(fin->pan));
    if (track == 1) f["name"] = Text(fin->name);
    f["expiry"] = Q(fin->expiry);
    f["service_code"] = Q(fin->serviceCode);
    t["fields"] = f;
  }
  return t;
}

// One fetched card as text or a JSON line; false when a track did not arrive.
bool PrintCard(Output& out, int number, const link::CardFetch& card, const Options& o) {
  const bool typed = card.type.result == link::ExchangeResult::Answered &&
                     protocol::PassesCardTypeGate(card.type.reply);
  const auto type = typed ? protocol::CardTypeFor(card.type.reply) : std::nullopt;
  const std::string typeText =
      type ? Shown(type->fetchCaption)
      : card.type.result == link::ExchangeResult::Answered
          ? "(no card type: the reader answered \"" + protocol::EscapeBytes(card.type.reply) + "\")"
          : "(no card type: no answer)";
  QJsonObject j;
  j["schema"] = 1;
  j["card"] = number;
  j["type"] = type ? Q(typeText) : QJsonValue();
  std::string text = "card " + std::to_string(number) + ": " + typeText + "\n";
  QJsonArray tracks;
  bool complete = true;
  for (int t = 1; t <= 3; ++t) {
    const auto& e = card.tracks[static_cast<std::size_t>(t - 1)];
    const bool arrived = e && e->result == link::ExchangeResult::Answered;
    complete = complete && arrived;
    const Bytes data = !arrived          ? Bytes()
                       : e->reply == "+" ? "No Data"
                       : e->reply == "*" ? "Error"
                                         : e->reply;
    QJsonObject tj = arrived ? TrackJson(t, data, o.showPan) : QJsonObject{{"track", t}};
    tj["arrived"] = arrived;
    tracks.append(tj);
    text += "  track " + std::to_string(t) + ": " +
            (arrived ? protocol::EscapeBytes(Masked(data, o.showPan)) : "(did not arrive)") + "\n";
  }
  if (!complete) text += "  note: not every track arrived\n";
  j["tracks"] = tracks;
  j["complete"] = complete;
  out.write(o.json ? QJsonDocument(j).toJson(QJsonDocument::Compact).toStdString() + "\n" : text);
  out.flush();
  return complete;
}

std::vector<std::string> Rest(const std::vector<std::string>& w, std::size_t from) {
  return {w.begin() + static_cast<std::ptrdiff_t>(std::min(from, w.size())), w.end()};
}

// A profile's text: a regular file (or - for standard input) of at most kProfileMaxBytes.
std::optional<std::string> ReadProfile(const std::string& file, std::string& error) {
  std::string text(kProfileMaxBytes + 1, '\0');
  std::size_t got = 0;
  if (file == "-") {
    std::cin.read(text.data(), static_cast<std::streamsize>(text.size()));
    got = static_cast<std::size_t>(std::cin.gcount());
  } else {
    const QFileInfo info(Q(file));
    if (!info.exists()) {
      error = "cannot read " + file + ": no such file";
      return std::nullopt;
    }
    if (!info.isFile()) {
      error = file + ": not a regular file";
      return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in && !in.eof()) {
      error = "cannot read " + file;
      return std::nullopt;
    }
    got = static_cast<std::size_t>(in.gcount());
  }
  if (got > kProfileMaxBytes) {
    error = file + ": longer than " + std::to_string(kProfileMaxBytes / 1024) + " KiB, no profile";
    return std::nullopt;
  }
  text.resize(got);
  return text;
}

// Writes a profile to a temporary file beside FILE and renames it, so a failure never leaves
// half a file; "-" writes to standard output.
std::string SaveProfile(Output& out, const std::string& file, const QByteArray& data) {
  if (file == "-") {
    out.write(data.toStdString());
    return {};
  }
  const QFileInfo info(Q(file));
  if (info.exists() && !info.isFile()) {
    // A device or a pipe is written in place: a rename would put a file where it stands.
    QFile direct(Q(file));
    if (!direct.open(QIODevice::WriteOnly) || direct.write(data) != data.size() ||
        !direct.flush()) {
      return "cannot write " + file + ": " + direct.errorString().toStdString();
    }
    return {};
  }
  QSaveFile save(Q(file));
  if (!save.open(QIODevice::WriteOnly) || save.write(data) != data.size() || !save.commit()) {
    return "cannot write " + file + ": " + save.errorString().toStdString();
  }
  return {};
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  const Options& o = parsed.options;
  Output out;
  const std::string cmd = o.words.empty() ? "" : o.words[0];
  const auto& w = o.words;
  const std::string command = cmd == "profile" && w.size() > 1 ? "profile " + w[1] : cmd;
  const auto usage = [&](const std::string& error) {
    if (o.json)
      Report(out, true, command).finish(2, error + " (see --help)");
    else
      std::cerr << "tkr520ctl: " << EscapedLines(error) << " (see --help)" << std::endl;
    return 2;
  };
  if (!parsed.error.empty()) return usage(parsed.error);
  if (o.help || o.version) {
    out.write(o.help ? UsageText() : std::string("tkr520ctl ") + TKR_VERSION + "\n");
    out.flush();
    return out.failed() ? 1 : 0;
  }
  std::vector<Change> changes;
  Bytes sendBytes;
  std::string profileFile, profileText;
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
  } else if (cmd == "profile" || cmd == "station") {
    const bool station = cmd == "station";
    if (station ? w.size() != 2
                : w.size() != 3 || (w[1] != "save" && w[1] != "apply" && w[1] != "diff")) {
      return usage(station ? "give station PROFILE" : "give profile save, apply or diff FILE");
    }
    profileFile = w.back();
    if (station || w[1] != "save") {
      std::string error;
      const auto text = ReadProfile(profileFile, error);
      if (!text) return usage(error);
      const ParsedChanges c = ParseProfile(*text);
      if (!c.error.empty()) return usage(profileFile + ": " + c.error);
      changes = c.changes;
      profileText = *text;
    }
  } else if (!plain) {
    return usage("unknown command " + cmd);
  }
  if (o.check && command != "profile apply") return usage("--check goes with profile apply");
  if (!o.log.empty() && cmd != "station") return usage("--log goes with station");

  QCoreApplication app(argc, argv);
  Report report(out, o.json, command);

  if (cmd == "ports") {
    // The console's --list-ports, row for row.
    const auto rows = pq::GatherPortRows(pq::PortMap::Build(o.ports, o.systemPorts));
    report.text(pq::FormatPortRows(rows));
    report.obj()["ports"] =
        QJsonDocument::fromJson(QByteArray::fromStdString(pq::PortRowsJson(rows))).array();
    return report.finish(0);
  }

  if (cmd == "station") return RunStation(o, {profileFile, profileText, changes});

  const bool listens = cmd == "capture" || cmd == "monitor";
  Session s(pq::PortMap::Build(o.ports, o.systemPorts), cmd == "monitor");
  link::Reader& reader = s.reader();
  bool interrupted = false, lost = false;
  CatchStopSignals([&] {
    interrupted = true;
    if (listens) {
      QCoreApplication::quit();
      return;
    }
    s.close();
    std::_Exit(report.finish(kExitInterrupted, "interrupted"));
  });
  reader.onEnd = [&](int) {
    s.close();
    std::_Exit(report.finish(1, s.com() + ": the reader stopped answering"));
  };
  const Outcome connected = o.com ? reader.Connect(o.com, o.settings) : reader.Detect();
  // profile diff says "different" with 1, as diff does, and any trouble with 2.
  if (!connected.ok()) return report.fail(connected, command == "profile diff" ? 2 : 1);

  if (cmd == "detect") {
    const auto parts = protocol::SplitSettings(reader.settings());
    report.line("port: " + s.com());
    report.line("baud: " + parts.baud);
    report.line("firmware: " + protocol::EscapeBytes(reader.firmware()));
    PutPort(s, report);
    report.obj()["baud"] = Q(parts.baud);
    report.obj()["firmware"] = Text(reader.firmware());
    return report.finish(0);
  }
  if (cmd == "status") {
    PutStatus(s, report);
    return report.finish(0);
  }
  if (cmd == "profile" && w[1] == "save") {
    PutStatus(s, report);
    QJsonObject profile = report.obj()["settings"].toObject();
    profile["format"] = kProfileFormat;
    profile["version"] = kProfileVersion;
    const std::string error = SaveProfile(out, profileFile, QJsonDocument(profile).toJson());
    if (!error.empty()) return report.finish(1, error);
    if (profileFile != "-") report.line("saved to " + profileFile);
    return report.finish(0);
  }
  if (command == "profile diff" || o.check) {
    return ReportComparison(s, report, changes, command == "profile diff", profileFile);
  }
  if (cmd == "set" || cmd == "profile") {
    return ReportApplied(s, report, Apply(reader, changes, cmd == "profile"));
  }
  if (cmd == "defaults") {
    const Outcome o2 = reader.RestoreDefaults();
    if (!o2.ok()) return report.fail(o2);
    PutStatus(s, report);
    return report.finish(0);
  }
  if (cmd == "send") {
    int item = -1;
    for (const auto& row : protocol::HostCommandList()) {
      if (row.text == sendBytes && !o.hex) item = row.itemCode;
    }
    std::vector<link::Exchange> done;
    const Outcome sent =
        item >= 0 ? reader.SendItem(item, &done) : reader.SendText(sendBytes, &done);
    Bytes all, reply;
    for (const auto& e : done) {
      all += e.sent;
      reply += e.reply;
    }
    const auto* row = protocol::FindHostCommand(item);
    const bool typeAsked = row && row->effect == protocol::SideEffect::CardTypeReport;
    const auto cardType = typeAsked ? protocol::CardTypeFor(reply) : std::nullopt;
    const std::string decoded = cardType ? std::string(cardType->panel)
                                         : std::string(protocol::StatusText(reply).value_or(""));
    const Bytes shown = Masked(reply, o.showPan);
    report.line("sent: " + HexOf(all));
    report.line("reply: " + HexOf(shown));
    if (!decoded.empty()) report.line("decoded: " + decoded);
    report.obj()["sent"] = Q(HexOf(all));
    report.obj()["reply"] = Q(HexOf(shown));
    report.obj()["decoded"] = Q(decoded);
    PutPort(s, report);
    if (!sent.ok()) return report.fail(sent);
    if (reply.empty()) return report.finish(1, s.com() + ": the reader did not answer");
    return report.finish(0);
  }

  // capture and monitor: events until Ctrl-C, the count, the time-out or the reader's loss.
  reader.onLost = [&] {
    lost = true;
    QCoreApplication::quit();
  };
  int cards = 0;
  bool incomplete = false;
  if (cmd == "capture") {
    reader.onCard = [&](const link::CardFetch& card) {
      incomplete = !PrintCard(out, ++cards, card, o) || incomplete;
      if (o.count && cards >= o.count) QCoreApplication::quit();
    };
  } else {
    const auto record = [&](std::string_view header, const Bytes& bytes) {
      const std::string stamp =
          o.timestamps ? QDateTime::currentDateTime().toString("HH:mm:ss.zzz").toStdString() : "";
      const std::string hex = protocol::HexDumpLine(Masked(bytes, o.showPan));
      if (o.json) {
        QJsonObject j{{"schema", 1},
                      {"record", Q(std::string(header))},
                      {"hex", Q(hex.substr(0, hex.size() - 2))}};
        if (!stamp.empty()) j["time"] = Q(stamp);
        out.write(QJsonDocument(j).toJson(QJsonDocument::Compact).toStdString() + "\n");
      } else {
        out.write((stamp.empty() ? "" : stamp + " ") + std::string(header) + "\r\n" + hex);
      }
      out.flush();
    };
    reader.onSent = [record](const Bytes& b) { record(protocol::kHeaderToReader, b); };
    reader.onReceived = [record](const Bytes& b) { record(protocol::kHeaderFromReader, b); };
  }
  // Scripts and operators alike learn here that the tool is ready for the first swipe.
  std::cerr << "tkr520ctl: " << s.com() << ": "
            << (cmd == "capture" ? "waiting for cards" : "listening") << " (Ctrl-C ends)"
            << std::endl;
  if (o.timeoutS > 0)
    QTimer::singleShot(static_cast<int>(o.timeoutS * 1000), [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  s.close();
  report.obj()["cards"] = cards;
  if (lost) return report.finish(1, s.com() + ": the reader was lost (the device went away)");
  if (interrupted) return report.finish(cmd == "capture" ? kExitInterrupted : 0);
  if (cmd == "capture" && o.count && cards < o.count) {
    const std::string within = " within " + QString::number(o.timeoutS).toStdString() + " s";
    return report.finish(1, cards == 0 ? "no card" + within
                                       : std::to_string(cards) + " of " + std::to_string(o.count) +
                                             " cards" + within);
  }
  return incomplete ? report.finish(1, "not every track of every card arrived") : report.finish(0);
}

}  // namespace tkr::ctl

int main(int argc, char** argv) {
  return tkr::ctl::Main(argc, argv);
}
