#pragma once
// The reader for programs without windows (tkr520ctl, the tests): the console's own routines
// on controls nobody sees, so every command puts the same bytes on the wire as the console's
// control for it, and each call says what came of it instead of leaving it in a label.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/module1.h"
#include "core/protocol/replies.h"

namespace tkr::link {

// How a call to the reader ended.
struct Outcome {
  enum class Kind {
    Done,
    OpenFailed,  // the port did not open: reason says why
    NoAnswer,    // a command went unanswered
    NotReader,   // what answers is not a TKR520 (reason quotes it)
    Lost,        // the device went away
  };
  Kind kind = Kind::Done;
  std::string reason;
  bool ok() const { return kind == Kind::Done; }
};

// The reader's settings as its configuration answer ("RE1") reports them.
struct ReaderSettings {
  Bytes raw;
  std::vector<protocol::ConfigUpdate> items;
  // The caption of an item ("Enable", "No LRC", "2"), as stored; nullopt when not reported.
  std::optional<std::string> caption(protocol::ConfigItem item) const;
};

class Reader {
 public:
  struct Parts {
    platform::SerialPort& serial;
    platform::Timer& timer1;
    platform::Timer& timer2;
    platform::Timer& timer3;
    platform::EventPump& pump;
  };
  // Without fetchCards a swipe is only received: the card-data fetch stays off (listening).
  explicit Reader(Parts parts, bool fetchCards = true);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // The port dialog's Done on COMn at the settings; the port is tried first, so a port that
  // does not open says so at once.
  Outcome Connect(int port, const std::string& settings);
  // The start-up detection over COM1..COM16; when no reader answers, the reason names what
  // each port did.
  Outcome Detect();
  // The port closes; what is set aside goes.
  void Close();

  int port() const;
  std::string settings() const;
  const Bytes& firmware() const { return firmware_; }  // as the firmware label shows it
  // From the configuration read that ended last.
  const ReaderSettings& readerSettings() const { return settings_; }

  // The configuration read again.
  Outcome ReadSettings();
  // A configuration toggle clicked to `on` (nothing is sent when it is on already).
  Outcome SetToggle(Toggle toggle, bool on);
  // The protocol dialog's OK with protocol 0..2, then a read of the settings.
  Outcome SetProtocol(int protocol);
  // Track selection 1..7 (bit 0 track 1): the reader only acknowledges it.
  Outcome SetTracks(int mask, Exchange* ack);
  // The prefix/suffix dialog's Done: one acknowledged frame per group.
  Outcome SetCodes(const CodeSettings& codes, std::vector<Exchange>* acks);
  // The "Default" button: factory settings, the port back at 9600,n,8,1, the settings read.
  Outcome RestoreDefaults();
  // A command list row (itemCode) or typed text; `sent` gets every command with its reply.
  Outcome SendItem(int itemCode, std::vector<Exchange>* sent);
  Outcome SendText(const Bytes& text, std::vector<Exchange>* sent);
  // The boxes' RTS and CTS as the reader last reported them (0/1).
  int rts() const;
  int cts() const;

  // What happens on the line; set before connecting.
  std::function<void(const Bytes& command)> onSent;
  std::function<void(const Bytes& reception)> onReceived;
  std::function<void(const CardFetch& card)> onCard;
  std::function<void()> onLost;
  // The console would end the program here (a reader gone during a detection); the call must
  // not return.
  std::function<void(int status)> onEnd;

  Module1& module() { return *m_; }

 private:
  class View;
  class Forms;
  class Shell;
  class HeldPort;
  class IdleTimer;

  // Runs `action` with every exchange recorded, then tells what came of them.
  Outcome Run(const std::function<void()>& action, std::vector<Exchange>* exchanges = nullptr);
  Outcome Judge(const std::vector<Exchange>& exchanges);
  Outcome CheckIdentity(const std::vector<Exchange>& exchanges);
  std::string Com() const;

  std::unique_ptr<View> view_;
  std::unique_ptr<Forms> forms_;  // its loads reach m_ only once the detection runs
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<HeldPort> port_;
  std::unique_ptr<IdleTimer> idle_;
  std::unique_ptr<Module1> m_;
  Bytes firmware_;
  ReaderSettings settings_;
};

}  // namespace tkr::link
