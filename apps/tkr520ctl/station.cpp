#include "apps/tkr520ctl/station.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <set>

#include "apps/tkr520ctl/apply.h"
#include "core/protocol/monitor_format.h"

namespace tkr::ctl {
namespace {

namespace pq = platform::qt;
using Kind = link::Outcome::Kind;

// How often the served devices are looked at: a reader plugged in is noticed within this,
// well inside the quarter second a technician does not wait for.
constexpr std::chrono::milliseconds kPoll{200};

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// What came of one plugged-in reader.
struct Result {
  QDateTime at;
  int com = 0;
  std::string device;
  std::string firmware;
  std::string result;    // ok, acknowledged, failed
  std::string reason;    // for failed: not a reader, refused a change, lost mid-way, ...
  std::string error;     // the message, without the COM number the line already gives
  std::string logError;  // the same with nothing the device sent quoted
  Applied applied;
  qint64 ms = 0;
};

// The reader API's messages start with "COMn: "; the line names the port already.
std::string WithoutPort(const std::string& message) {
  if (message.rfind("COM", 0) != 0) return message;
  const auto colon = message.find(": ");
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

constexpr const char* kNotReader = "the device that answers is not a TKR520 reader";

void FromOutcome(const link::Outcome& o, Result& r) {
  r.error = r.logError = WithoutPort(o.reason);
  switch (o.kind) {
    case Kind::Done:
      break;
    case Kind::NotReader:
      r.reason = "not a reader";
      r.logError = kNotReader;
      break;
    case Kind::Lost:
      r.reason = "lost mid-way";
      break;
    case Kind::NoAnswer:
      r.reason = "no answer";
      break;
    case Kind::OpenFailed:
      r.reason = "port failed";
      break;
  }
}

// A detection that found no reader lists what every number did; this port's line is the one
// that counts, the others have no device.
void FromDetection(const link::Outcome& o, int com, Result& r) {
  const std::string tag = "\n  COM" + std::to_string(com) + ": ";
  const auto at = o.reason.find(tag);
  if (at == std::string::npos) return FromOutcome(o, r);
  const auto from = at + tag.size();
  const std::string note = o.reason.substr(from, o.reason.find('\n', from) - from);
  r.error = r.logError = note;
  r.reason = note == "no answer" ? "no answer" : "port failed";
  if (note.rfind(kNotReader, 0) == 0) {
    r.reason = "not a reader";
    r.logError = kNotReader;  // what it answered may be anything, a swiped card too
  }
}

class Station {
 public:
  Station(const Options& o, const StationProfile& profile)
      : o_(o), profile_(profile), map_(pq::PortMap::Build(o.ports, o.systemPorts)) {
    for (int n : o.coms) served_.insert(n);
    for (const auto& p : o.ports) served_.insert(p.port);
    for (int n = pq::kFirstPort; n <= pq::kLastPort && o.coms.empty() && o.ports.empty(); ++n) {
      served_.insert(n);
    }
    hash_ = QCryptographicHash::hash(QByteArray::fromStdString(profile.text),
                                     QCryptographicHash::Sha256)
                .toHex()
                .toStdString();
  }
  ~Station() {
    if (log_ >= 0) ::close(log_);
  }

  int run() {
    if (!o_.log.empty()) {
      log_ = ::open(o_.log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
      if (log_ < 0) return fail("cannot open " + o_.log + ": " + std::strerror(errno));
    }
    CatchStopSignals([this] {
      stopping_ = true;
      if (!busy_) QCoreApplication::quit();
    });
    std::string ports;
    for (int n : served_) ports += " COM" + std::to_string(n);
    if (served_.size() == static_cast<std::size_t>(pq::kLastPort)) ports = " COM1..COM16";
    std::cerr << "tkr520ctl: station on" << ports << " with " << profile_.file << " (sha256 "
              << hash_.substr(0, 12) << "); plug in a reader (Ctrl-C ends)" << std::endl;
    QTimer::singleShot(0, [this] { poll(); });
    QCoreApplication::exec();
    return summary();
  }

 private:
  // One look at every served port: a device that is there and was not served yet gets its
  // reader served, one after the other; a port that served one waits for its device to go.
  void poll() {
    busy_ = true;
    map_.refresh();
    for (int com : served_) {
      const auto device = map_.deviceFor(com);
      // A symlink whose target is gone is no device either.
      const bool present = device && QFileInfo::exists(Q(*device));
      if (served_once_.count(com)) {
        if (!present) {
          served_once_.erase(com);
          std::cerr << "tkr520ctl: COM" << com << " " << protocol::EscapeBytes(*device)
                    << " gone; ready for the next reader" << std::endl;
        }
        continue;
      }
      if (!present || stopping_) continue;
      report(serve(com, *device));
      served_once_.insert(com);
    }
    busy_ = false;
    if (stopping_) {
      QCoreApplication::quit();
      return;
    }
    QTimer::singleShot(kPoll, [this] { poll(); });
  }

  Result serve(int com, const std::string& device) {
    Result r;
    r.com = com;
    r.device = device;
    QElapsedTimer clock;
    clock.start();
    // The console's detection over a map that holds this port alone: the other numbers have
    // no device and are passed at once, so the reader is probed as at the console's start.
    pq::PortMap one;
    one.assign(com, device);
    Session s(std::move(one), true);
    link::Reader& reader = s.reader();
    reader.onEnd = [&](int) {
      // The console ends itself when a reader found on COM16 stops answering; so does this.
      r.result = "failed";
      r.reason = "lost mid-way";
      r.error = r.logError = "the reader stopped answering";
      r.at = QDateTime::currentDateTime();
      r.ms = clock.elapsed();
      s.close();
      report(r);
      std::_Exit(summary());
    };
    const link::Outcome found = reader.Detect();
    r.firmware = protocol::EscapeBytes(reader.firmware());
    if (!found.ok()) {
      FromDetection(found, com, r);
    } else {
      r.applied = Apply(reader, profile_.changes, true);
      const Applied& a = r.applied;
      if (a.status == 1) {
        FromOutcome(a.outcome, r);
      } else if (a.status != 0) {
        r.reason = a.status == 3 ? "refused a change" : "interlock";
        r.error = r.logError = a.error;
      }
    }
    s.close();
    r.result = !r.reason.empty() ? "failed" : r.applied.acknowledgedOnly() ? "acknowledged" : "ok";
    r.at = QDateTime::currentDateTime();
    r.ms = clock.elapsed();
    return r;
  }

  QJsonObject json(const Result& r) const {
    QJsonArray fields;
    for (const Verdict& v : r.applied.verdicts) {
      QJsonObject f{{"name", v.change->field->name},
                    {"asked", Q(v.change->text)},
                    {"before", Q(v.before)},
                    {"sent", v.sent},
                    {"taken", v.taken},
                    {"verified", v.verified && v.taken}};
      // Only what the configuration answer says: an acknowledgement could be any bytes.
      if (v.verified) f["reported"] = Q(v.reported);
      fields.append(f);
    }
    return {{"schema", 1},
            {"time", r.at.toString(Qt::ISODateWithMs)},
            {"port", Q("COM" + std::to_string(r.com))},
            {"device", QString::fromLatin1(protocol::EscapeBytes(r.device))},
            {"firmware", QString::fromLatin1(r.firmware)},
            {"result", Q(r.result)},
            {"reason", Q(r.reason)},
            {"error", QString::fromLatin1(r.logError)},
            {"profile", Q(profile_.file)},
            {"profile_sha256", Q(hash_)},
            {"before", SettingsJson(r.applied.before)},
            {"after", SettingsJson(r.applied.after)},
            {"changed", r.applied.changed()},
            {"fields", fields},
            {"ms", r.ms}};
  }

  void report(const Result& r) {
    ++(r.result == "failed" ? failed_ : ok_);
    if (r.result == "acknowledged") ++acknowledged_;
    if (r.result == "failed") ++reasons_[r.reason];
    const QByteArray line = QJsonDocument(json(r)).toJson(QJsonDocument::Compact) + "\n";
    // One write a line, forced to the disk: a crash or a power cut loses at most the reader
    // in progress, and never leaves half a line.
    if (log_ >= 0 &&
        (::write(log_, line.constData(), static_cast<std::size_t>(line.size())) != line.size() ||
         ::fdatasync(log_) != 0)) {
      logFailed_ = true;
      std::cerr << "tkr520ctl: cannot write " << o_.log << ": " << std::strerror(errno)
                << std::endl;
    }
    std::string text;
    if (o_.json) {
      text = line.toStdString();
    } else {
      text = r.at.toString(Qt::ISODate).toStdString() + " COM" + std::to_string(r.com) + " " +
             protocol::EscapeBytes(r.device) + " " + (r.firmware.empty() ? "-" : r.firmware) + " " +
             r.result + (r.reason.empty() ? "" : ": " + r.reason + ": " + r.error) + "\n";
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  int summary() {
    const int status = logFailed_ ? 1 : failed_ ? 3 : 0;
    std::string by;
    for (const auto& [reason, n] : reasons_)
      by += (by.empty() ? "" : ", ") + std::to_string(n) + " " + reason;
    if (o_.json) {
      QJsonObject reasons;
      for (const auto& [reason, n] : reasons_) reasons[Q(reason)] = n;
      const QJsonObject o{{"schema", 1},       {"command", "station"},          {"status", status},
                          {"ok", ok_},         {"acknowledged", acknowledged_}, {"failed", failed_},
                          {"reasons", reasons}};
      std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
      const std::string acknowledged =
          acknowledged_ ? " (" + std::to_string(acknowledged_) + " only acknowledged)" : "";
      std::printf("readers: %d ok%s, %d failed%s\n", ok_, acknowledged.c_str(), failed_,
                  by.empty() ? "" : (" (" + by + ")").c_str());
    }
    std::fflush(stdout);
    return status;
  }

  int fail(const std::string& error) {
    std::cerr << "tkr520ctl: " << error << std::endl;
    return 1;
  }

  const Options& o_;
  const StationProfile& profile_;
  pq::PortMap map_;  // numbers as the console gives them out, asked again at every look
  std::set<int> served_;
  std::set<int> served_once_;  // served a reader whose device has not gone yet
  std::string hash_;
  int log_ = -1;
  bool logFailed_ = false;
  bool busy_ = false;
  bool stopping_ = false;
  int ok_ = 0, acknowledged_ = 0, failed_ = 0;
  std::map<std::string, int> reasons_;
};

}  // namespace

int RunStation(const Options& o, const StationProfile& profile) {
  return Station(o, profile).run();
}

}  // namespace tkr::ctl
