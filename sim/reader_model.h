#pragma once
// A TKR520 reader as seen from the serial line: it parses what the host writes, keeps the
// configuration and the last swiped card, and says what it would answer. No clock, no I/O:
// the attachments (in-process, pseudo-terminal) decide when the answer bytes go out.
#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/protocol/bytes.h"
#include "core/protocol/line_settings.h"

namespace tkr::sim {

// A track as the heads read it: data between the sentinels, nothing, or a read error.
struct Track {
  enum class State { Data, Empty, Error };
  State state = State::Empty;
  Bytes data;  // without sentinels and LRC; only for State::Data

  static Track Of(Bytes text) { return {State::Data, std::move(text)}; }
  static Track None() { return {State::Empty, {}}; }
  static Track Bad() { return {State::Error, {}}; }
};

struct Card {
  std::string name;  // for buttons and the command line
  char type = '0';   // the answer to "T": '0'..'4', 'O' or '6'
  bool jis = false;  // a JIS II stripe: only the JIS head sees it
  std::array<Track, 3> tracks;
};

// An ISO bank card (tracks 1-3), a track-2-only card, a card with a bad track 3, a JIS card.
const std::vector<Card>& SampleCards();

enum class Fault {
  Normal,
  Silent,   // hears and obeys everything, sends nothing (a dead transmit line)
  Garbage,  // sends 1..64 random bytes instead of every answer and every swipe
  // Not a TKR520 at all but, say, a modem on the port: "OK\r\n" to each command unit,
  // "ERROR\r\n" to each frame; it obeys nothing and reads no card. Nothing it says starts
  // like a version reply ("TKR510", "510"), so a detection must pass it by.
  Foreign,
};

struct ReaderConfig {
  bool ssesIncluded = true;
  bool lrcIncluded = true;
  int protocol = 0;  // 0..2, set by PC1..PC3
  bool rts = false;
  bool cts = false;
  bool jis = false;
  bool selfArm = false;
  bool buzzer = true;
  int trackMask = 7;            // bit 0 track 1, bit 1 track 2, bit 2 track 3
  std::array<Bytes, 3> prefix;  // empty by default
  std::array<Bytes, 3> suffix;
  Bytes separator = "\r";

  bool operator==(const ReaderConfig&) const = default;
};

// Two ends of a line understand each other when baud, parity and data bits agree; a receiver
// samples only the first stop bit, so the stop bits do not matter.
bool SameLine(const protocol::LineSettings& a, const protocol::LineSettings& b);
std::string FormatLine(const protocol::LineSettings& s);  // "9600,n,8,1"

class ReaderModel {
 public:
  // One answer, and the offset in the fed bytes of the byte that completed its command.
  // After the answer with thenVanish the reader unplugs itself (the attachment does it) and
  // hears nothing more: the rest of the fed bytes are left unheard.
  struct Reply {
    std::size_t after;
    Bytes bytes;
    bool thenVanish = false;
  };

  explicit ReaderModel(std::uint32_t seed = 1);

  // Bytes the host wrote, heard at the reader's own line settings.
  std::vector<Reply> hostWrote(const Bytes& data);
  // Bytes sent at `host` settings: a reader at other settings hears only noise and ignores it.
  std::vector<Reply> hostWrote(const Bytes& data, const protocol::LineSettings& host);
  bool hears(const protocol::LineSettings& host) const { return SameLine(host, line_); }

  // A card passes the heads: remembers it for T/Q/R/S and returns the unsolicited data
  // (empty when silent).
  Bytes swipe(const Card& card);

  void setFault(Fault fault) { fault_ = fault; }
  // A reader that acknowledges the frames with this two-letter code ("BZ", "TK", "p1") but
  // keeps its setting: a worn EEPROM cell, as a read-back check must catch it.
  void ignore(const std::string& code) { ignoredCodes_.push_back(code); }
  Fault fault() const { return fault_; }
  // The next command unit with this code (a frame's first two payload bytes such as "BZ" or
  // "RE", or a single command byte such as "9" or "\x7F") gets its answer, then the reader
  // vanishes, as a reader does that loses power or its cable mid-routine. Once.
  void vanishAfter(const Bytes& code) { vanishCode_ = code; }

  const ReaderConfig& config() const { return config_; }
  // The line settings in force, and the ones a warm reset will switch to.
  const protocol::LineSettings& line() const { return line_; }
  const protocol::LineSettings& pendingLine() const { return pendingLine_; }
  // Puts the reader on other settings at once, as if configured before the test.
  void setLine(const protocol::LineSettings& s) { line_ = pendingLine_ = s; }
  void setConfig(const ReaderConfig& c) { config_ = c; }

  // What the reader heard: each command unit (a frame or a single byte) and the raw bytes.
  const std::vector<Bytes>& commands() const { return commands_; }
  const Bytes& raw() const { return raw_; }
  std::size_t ignoredBytes() const { return ignored_; }
  // True while a frame has started but not all of it has arrived.
  bool midFrame() const { return !frame_.empty(); }
  // The line has been quiet for longer than a frame's bytes are ever apart: a frame that
  // has not been completed by then (a stray 0x09 typed by hand) is given up, so the next
  // command is heard as a command again.
  static constexpr int kFrameTimeoutMs = 500;
  void lineWasQuiet() { frame_.clear(); }

  // The standard data of track 0..2 as "Q"/"R"/"S" answer it.
  Bytes trackText(int track) const;
  // The configuration status that "RE1" answers: 8 capital hex digits.
  Bytes configStatus() const;

 private:
  Bytes answerFor(const Bytes& unit);
  static Bytes foreignAnswer(const Bytes& unit);
  Bytes answerSingle(std::uint8_t cmd);
  Bytes answerFrame(const Bytes& payload);
  Bytes customData(int track, bool reversed) const;
  Bytes eepromText() const;
  Bytes codesText() const;
  Bytes garbage();

  ReaderConfig config_;
  protocol::LineSettings line_;
  protocol::LineSettings pendingLine_;
  Fault fault_ = Fault::Normal;
  bool haveCard_ = false;
  Card card_;    // as the heads read it (a JIS card without the JIS head reads blank)
  Bytes frame_;  // the frame being received
  std::vector<Bytes> commands_;
  Bytes raw_;
  std::size_t ignored_ = 0;
  std::vector<std::string> ignoredCodes_;
  Bytes vanishCode_;  // empty: none
  std::mt19937 rng_;
};

}  // namespace tkr::sim
