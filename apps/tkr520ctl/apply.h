#pragma once
// Putting changes on the reader and judging each by what came back: one routine for `set`,
// `profile apply` (with --check and `profile diff`, which only compare) and the station.
#include <QJsonObject>
#include <functional>
#include <string>
#include <vector>

#include "apps/tkr520ctl/ctl_args.h"
#include "core/link/reader.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer.h"

namespace tkr::ctl {

// The console's routines on Qt: the serial control over a port map, its timers and pump.
class Session {
 public:
  // listenOnly: a swipe is only received, never fetched (monitor, the station).
  Session(platform::qt::PortMap map, bool listenOnly)
      : serial_(std::move(map)), reader_({serial_, t1_, t2_, t3_, pump_}, !listenOnly) {}
  link::Reader& reader() { return reader_; }
  std::string com() const { return "COM" + std::to_string(reader_.port()); }
  std::string device() const { return serial_.device().toStdString(); }
  void close() { reader_.Close(); }

 private:
  platform::qt::QtSerialPort serial_;
  platform::qt::QtTimer t1_, t2_, t3_;
  platform::qt::QtEventPump pump_;
  link::Reader reader_;
};

// Ctrl-C, SIGTERM and a hang-up call onStop from the event loop (a signal handler may do
// next to nothing), so each command ends with the port closed: a listening one by ending its
// loop, a one-shot command at once, the station once the reader in hand is done.
void CatchStopSignals(const std::function<void()>& onStop);

// A field's value as the configuration answer reports it ("on", "off", "2"); empty when the
// answer does not carry the field (tracks, codes) or did not come.
std::string Reported(const link::ReaderSettings& s, const Field& f);
// Every field the configuration answer carries, named as `set` names them; {} without one.
QJsonObject SettingsJson(const link::ReaderSettings& s);

// One wanted field against the reader's read-back, before anything is sent.
struct Comparison {
  const Change* change = nullptr;
  std::string now;       // empty: no read-back carries the field
  bool differs = false;  // it has to be sent: the read-back shows another value, or none
};
std::vector<Comparison> Compare(const link::ReaderSettings& s, const std::vector<Change>& wanted);

// What came of one change.
struct Verdict {
  const Change* change = nullptr;
  std::string before;     // read back before anything was sent; empty when not carried
  std::string reported;   // the read-back after it, or the acknowledgement's text
  bool sent = false;      // more than a read-back went out for it
  bool verified = false;  // the read-back carries it (the rest is only acknowledged)
  bool taken = false;
};

struct Applied {
  // 0 every change taken; 1 a call to the reader failed (outcome); 2 the interlock cannot
  // get there from the reader's RTS and CTS, nothing sent (error); 3 a change was not taken
  // (error names the fields).
  int status = 0;
  link::Outcome outcome;
  std::string error;
  std::vector<Verdict> verdicts;  // in the order the changes were given
  link::ReaderSettings before;    // the read-back before the first change
  link::ReaderSettings after;     // the newest read-back
  bool changed() const;
  bool acknowledgedOnly() const;  // some change was only acknowledged: no read-back shows it
};

// Runs the changes as the window's controls send them. With onlyDiffering (profile apply,
// the station) a field the read-back already shows is not sent, so a reader that matches
// hears nothing beyond the connection's read-back; `set` clicks every control it is given.
Applied Apply(link::Reader& reader, const std::vector<Change>& changes, bool onlyDiffering);

}  // namespace tkr::ctl
