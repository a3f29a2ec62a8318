#pragma once
// Module1: the console's shared run-time state and the routines that the windows call.
// Everything runs on the one user-interface thread; waiting means pumping window events,
// so handlers nest inside the waits exactly as the reader's timing requires.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/link/edition.h"
#include "core/link/monitor_log.h"
#include "core/link/views.h"
#include "core/protocol/bytes.h"
#include "core/protocol/frames.h"
#include "core/protocol/replies.h"
#include "platform/event_pump.h"
#include "platform/forms.h"
#include "platform/serial_port.h"
#include "platform/shell.h"
#include "platform/timer.h"

namespace tkr::link {

struct Platform {
  platform::SerialPort& MSComm1;
  platform::Timer& Timer1;
  platform::Timer& Timer2;
  platform::Timer& Timer3;
  platform::EventPump& pump;
  platform::Shell& shell;
  platform::Forms& forms;
};

// The seven configuration toggles of the main window.
enum class Toggle { Buzzer, JIS, LRC, SelfArm, SSES, RTS, CTS };

// Each setting of the configuration answer: its "Current Settings" label and its check box
// (the protocol has none).
struct ConfigControls {
  protocol::ConfigItem item;
  Control* MainView::*label;
  CheckControl* MainView::*box;
};
inline constexpr ConfigControls kConfigControls[] = {
    {protocol::ConfigItem::SSES, &MainView::SSESLabel, &MainView::SSESCheckBox},
    {protocol::ConfigItem::LRC, &MainView::LRCLabel, &MainView::LRCCheckBox},
    {protocol::ConfigItem::Protocol, &MainView::ProtocolLabel, nullptr},
    {protocol::ConfigItem::CTS, &MainView::CTSLabel, &MainView::CTSCheckBox},
    {protocol::ConfigItem::RTS, &MainView::RTSLabel, &MainView::RTSCheckBox},
    {protocol::ConfigItem::JIS, &MainView::JISLabel, &MainView::JISCheckBox},
    {protocol::ConfigItem::SelfArm, &MainView::SelfArmLabel, &MainView::SelfArmCheckBox},
    {protocol::ConfigItem::Buzzer, &MainView::BuzzerLabel, &MainView::BuzzerCheckBox}};

// Each toggle's check box.
inline constexpr std::pair<Toggle, CheckControl * MainView::*> kToggleBoxes[] = {
    {Toggle::Buzzer, &MainView::BuzzerCheckBox}, {Toggle::JIS, &MainView::JISCheckBox},
    {Toggle::LRC, &MainView::LRCCheckBox},       {Toggle::SelfArm, &MainView::SelfArmCheckBox},
    {Toggle::SSES, &MainView::SSESCheckBox},     {Toggle::RTS, &MainView::RTSCheckBox},
    {Toggle::CTS, &MainView::CTSCheckBox}};

// One group of the prefix/suffix dialog: "Default" or six (one for the separator) code boxes.
struct CodeGroup {
  bool useDefault = true;
  std::array<std::string, 6> boxes{};
};
// Track 1 prefix, track 1 suffix, track 2 prefix, track 2 suffix, track 3 prefix,
// track 3 suffix, separator.
using CodeSettings = std::array<CodeGroup, 7>;

// What became of one command written to the reader.
enum class ExchangeResult {
  Answered,    // a reception completed while its wait (or the fetch) took replies
  TimedOut,    // the wait ended without one
  NotAwaited,  // the next command went out first (a warm reset nobody waits for)
  NotOpen,     // nothing was written: the port is not open
  PortLost,    // the device went away before the reply came
};
struct Exchange {
  Bytes sent;
  Bytes reply;
  ExchangeResult result = ExchangeResult::TimedOut;
};

// One swipe's fetch: the card type request, then the request of each pending track.
struct CardFetch {
  Exchange type;
  std::array<std::optional<Exchange>, 3> tracks;
};

// What the routines tell a program that drives them without windows (tkr520ctl, the tests);
// the windows need none of it.
struct LinkEvents {
  std::function<void(const Bytes& command)> sent;
  std::function<void(const Bytes& reception)> received;  // each whole reception, as it came
  std::function<void(const CardFetch&)> cardFetched;
  std::function<void()> portLost;
};

// RTS and CTS handshaking go through one interlock: CTS changes only while RTS is on, and
// RTS only while CTS is off. `rts` and `cts` are the boxes as the click leaves them.
bool InterlockLets(Toggle toggle, int rts, int cts);
// The clicks that take the boxes from (rts, cts) to (wantRts, wantCts), in an order the
// interlock lets through at every click; nullopt when no order does.
std::optional<std::vector<Toggle>> PlanHandshake(int rts, int cts, int wantRts, int wantCts);

class Module1 {
 public:
  static constexpr int kQuietTimeMs = 100;         // Timer1: a gap this long ends a reception
  static constexpr int kFetchDelayMs = 10;         // Timer3: from a swipe to the card-data fetch
  static constexpr int kReplyTimeoutUnits = 20;    // WaitForReply: TimeBase x 20 ms
  static constexpr int kProbeTimeoutUnits = 10;    // detection probe: TimeBase x 10 ms
  static constexpr int kDetectedTimeBase = 100;    // what a detection sets: 2 s replies
  static constexpr int kLegacyLoadTimeBase = 250;  // the legacy load's, until a detection
  static constexpr int kPortCount = 16;            // the detection scans COM1..COM16
  // The reply buffer keeps at most this much of one reception: far above any reply or swipe.
  // The reception itself goes on until the quiet time, however long: the rest only continues
  // its monitor record, a data line per this many bytes, so that logging stays quick.
  static constexpr std::size_t kReplyBufferLimit = std::size_t{4} * 1024;

  Module1(Edition edition, Platform platform, MainView view);
  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

  Edition edition() const { return edition_; }
  bool legacy() const { return edition_ == Edition::Legacy; }
  MainView& view() { return view_; }
  platform::SerialPort& serial() { return p_.MSComm1; }
  platform::Forms& forms() { return p_.forms; }

  // ---- Shared state -------------------------------------------------------------------
  protocol::CommandTable CommandTable;

  // Port state
  int PortNumber = 0;
  std::string BaudSetting;
  std::string FrameSetting;
  bool HardwareHandshake = false;
  bool PortFailed = false;
  bool FramingError = false;

  // Exchange state
  Bytes ReplyBuffer;
  bool AwaitingReply = false;
  bool ReplyReceived = false;
  bool ReplyTimedOut = false;
  bool TimeoutHandled = false;
  int TimeBase = 0;
  bool ToggleBusy = false;
  bool CardDataArrived = false;

  // Reply state
  bool ReplyStatusEnabled = false;
  bool CardTypeRequested = false;
  bool FetchingCardData = false;
  bool Track1Pending = false;
  bool Track2Pending = false;
  bool Track3Pending = false;
  bool RefreshingView = false;

  // Detection state
  int DetectStep = 0;
  int DetectLastStep = 0;
  bool DetectCancelled = false;
  int ReaderProtocol = 0;

  // ---- Port connection and line settings ----------------------------------------------
  void OpenPort(int port, const std::string& settings, bool handshake);
  void EnsurePortOpen();
  void ClosePort();
  void ShowPortSettings();
  void OnComm();

  // ---- Command exchange and busy state -------------------------------------------------
  void SendCommand(const Bytes& command);
  void WaitForReply();
  void DisableReaderControls();
  void EnableReaderControls();
  void Timer1_Timer();
  void Timer2_Timer();
  void Timer3_Timer();

  // ---- Reception monitor ---------------------------------------------------------------
  void AppendMonitor(const Bytes& data);
  void AppendMonitorHeader(std::string_view header);
  void ClearTrackBoxes();
  void HandleSwipeData();
  const MonitorLog& monitor() const { return monitor_; }

  // ---- Reply interpretation ------------------------------------------------------------
  void InterpretReply(bool replyExpected, bool cardTypeRequested);
  void FetchCardData();
  void RefreshConfigView();
  void FlushInput();

  // ---- Automatic detection -------------------------------------------------------------
  void AutoDetect();
  // Detecting_form's load handler and its Cancel button; the form hands over its controls.
  void DetectingForm_Load(DetectingView* view);
  void DetectingForm_Unloaded();
  void CancelCmdBtn_Click();

  // ---- Main window ---------------------------------------------------------------------
  // The start-up sequence; showWindow runs once the command table is built, before the
  // detection (binding the resizer and hiding controls belong to the window).
  void Form_Load(const std::function<void()>& showWindow);
  // What the start-up leaves in place for exchanges, without its detection: the command
  // table, status texts on, Timer1 at the quiet time and TimeBase as a detection sets it.
  void PrepareExchanges();
  void RestartCommandButton_Click();
  void ClearButton_Click();
  void ExitButton_Click();
  void Form_Unload();

  // ---- Configuration toggles and defaults ----------------------------------------------
  void ToggleClicked(Toggle toggle);
  void RestoreReaderDefaults();
  void DefaultButton_Click();

  // ---- Track selection -----------------------------------------------------------------
  void TrackCheckBoxClicked(int track);  // 1..3
  void SendTrackSelection();

  // ---- Host command console ------------------------------------------------------------
  void txtSend_Click(int itemCode);   // -1 when no row is selected
  void SendTyped(const Bytes& text);  // Enter in txtSend

  // ---- Settings dialogs ----------------------------------------------------------------
  void ApplyPortSettings();
  // The port dialog's Done with port and settings chosen ("9600,n,8,1"), no handshake.
  void Connect(int port, const std::string& settings);
  void ComPortDefault();
  void SendProtocolSetting();
  void SendCodeSettings(const CodeSettings& settings);

  // True while an exchange or a detection is running; operator actions that would start
  // an exchange of their own are deferred until it has ended.
  bool ExchangeActive() const { return waitDepth_ > 0 || detectDepth_ > 0 || loadDepth_ > 0; }
  void RunWhenIdle(std::function<void()> action);

  // ---- For programs that drive the routines without windows ---------------------------
  void setEvents(LinkEvents events) { events_ = std::move(events); }
  // Keeps every exchange that ends from now on, until taken.
  void recordExchanges(bool on) { recording_ = on; }
  std::vector<Exchange> takeExchanges() { return std::exchange(exchanges_, {}); }
  // The exchange that ended last.
  const Exchange& lastExchange() const { return last_; }
  // The device went away since the port was last opened.
  bool portLost() const { return portLost_; }

 private:
  // Counts a running wait or scan for as long as it lasts, on every way out.
  struct ScopedCount {
    explicit ScopedCount(int& count) : count_(count) { ++count_; }
    ~ScopedCount() { --count_; }
    ScopedCount(const ScopedCount&) = delete;
    ScopedCount& operator=(const ScopedCount&) = delete;
    int& count_;
  };

  // Held for as long as one operator action (or a swipe's fetch) runs its exchanges: a port
  // that is not open is then reported once for the action, not once for every command in it.
  struct ActionScope {
    explicit ActionScope(Module1& m) : m_(m) { ++m_.actionDepth_; }
    ~ActionScope() {
      if (--m_.actionDepth_ == 0) m_.portWarningShown_ = false;
    }
    ActionScope(const ActionScope&) = delete;
    ActionScope& operator=(const ActionScope&) = delete;
    Module1& m_;
  };

  // Status panel 2 before a command, until SendCommand shows the whole of it: the first
  // byte's hex code (a frame's lead byte, the warm reset, the version command).
  static constexpr const char* kFrameMark = "9";
  static constexpr const char* kResetMark = "7F";
  static constexpr const char* kVersionMark = "39";

  // The busy indicator's three states.
  void ShowBusy();
  void ShowReady();
  void ShowNoReader();
  void ScanPorts();
  CheckControl* ToggleBox(Toggle toggle) const;
  void WaitForProbe();
  void StartTimeout(int units);  // Timer2 for TimeBase x units ms
  void CompleteReception();
  void GatherReceived(Bytes data);
  void KeepReceived(Bytes& kept, std::string_view data);
  void ShowCutLine();
  Bytes LogReception(const Bytes& kept);  // what its record showed past the kept head
  bool WaitHoldsItsReply() const;
  void RestoreDefaultsSequence(bool emptyBufferFirst);
  CheckControl* TrackBox(int track) const;
  void SetStatusPanel(int panel, const Bytes& text);
  void NoteExchangeEnded();
  void DrainDeferred();
  void BeginExchange(const Bytes& command, ExchangeResult result);
  void EndExchange(ExchangeResult result);

  Edition edition_;
  Platform p_;
  MainView view_;
  DetectingView* detecting_ = nullptr;
  MonitorLog monitor_;

  int waitDepth_ = 0;
  int detectDepth_ = 0;
  int loadDepth_ = 0;
  int onCommDepth_ = 0;  // receive handlers running, the outermost one pumping
  int actionDepth_ = 0;
  bool portWarningShown_ = false;  // "Communication Error!" shown in the running action
  bool drainPosted_ = false;
  bool resetProbeRunning_ = false;
  bool receptionHandedOver_ = false;  // the buffer holds a reception already dispatched
  Bytes heldBack_;  // the next reception, begun before a wait returned with its reply
  // A reception that has passed the buffer's limit, until its quiet time: the buffer (or
  // heldBack_) keeps its head, and its record stands open in the monitor for the rest.
  struct CutReception {
    bool open = false;
    std::uint64_t record = 0;  // the monitor record it writes to
    Bytes rest;                // what follows the head, as far as the record takes it
    std::size_t shown = 0;     // bytes of rest in the record so far
  };
  CutReception cut_;
  // A stream that never pauses stops adding to its record here, keeping the monitor bounded;
  // 128 KiB take half of the monitor's text, so older records mostly stay beside it.
  static constexpr std::size_t kCutRecordLimit = 32 * kReplyBufferLimit;
  std::deque<std::function<void()>> deferred_;

  LinkEvents events_;
  bool recording_ = false;
  bool exchangeOpen_ = false;  // current_ was written and its reply has not come
  bool portLost_ = false;
  Exchange current_;
  Exchange last_;
  std::vector<Exchange> exchanges_;
};

}  // namespace tkr::link
