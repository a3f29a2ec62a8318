#pragma once
// tkr520ctl's command line and the NAME=VALUE changes of `set` and of profiles: checked in
// full before the port is opened, so a bad word sends nothing.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/link/module1.h"
#include "core/protocol/replies.h"
#include "platform/qt/port_map.h"

namespace tkr::ctl {

struct Options {
  std::vector<platform::qt::PortOption> ports;
  bool systemPorts = true;
  int com = 0;            // 0: detect the reader first
  std::vector<int> coms;  // every --com in order: the numbers the station serves
  std::string settings = "9600,n,8,1";
  bool json = false;
  bool help = false;
  bool version = false;
  bool hex = false;                // send: the words are byte values
  bool check = false;              // profile apply: report what would change, change nothing
  int count = 0;                   // capture: 0 until interrupted
  double timeoutS = 0;             // capture: 0 for no limit
  bool showPan = false;            // capture
  bool timestamps = false;         // monitor
  std::string log;                 // station: one JSON line a reader appended here
  std::vector<std::string> words;  // the command and its arguments
};

struct ParsedCommandLine {
  Options options;
  std::string error;  // one line naming the bad word; empty when the line is good
};
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

enum class FieldKind { Toggle, Tracks, Protocol, Code };

// One settable field. Toggles and the protocol are read back from the configuration
// answer; the track selection and the codes, which that answer does not carry, are only
// acknowledged by the reader.
struct Field {
  const char* name;
  FieldKind kind;
  link::Toggle toggle;  // kind Toggle
  int group;            // kind Code: the group's place in the prefix/suffix dialog
  std::optional<protocol::ConfigItem> item;  // what reports it in the configuration answer
};

// The fields in the order `set` and profiles name them in help and in saved profiles.
const std::vector<Field>& Fields();
const Field* FindField(const std::string& name);

struct Change {
  const Field* field = nullptr;
  int value = 0;                       // toggle 0/1, protocol 0..2, track mask 1..7
  bool useDefault = false;             // codes
  std::array<std::string, 6> boxes{};  // codes: one two-digit box per byte
  std::string text;                    // the value as it is reported
};

struct ParsedChanges {
  std::vector<Change> changes;
  std::string error;
};
// NAME=VALUE words; a name given twice is an error.
ParsedChanges ParseChanges(const std::vector<std::string>& words);
// The value part of one field, as a profile gives it (text, also for numbers).
std::optional<Change> ParseValue(const Field& field, const std::string& value, std::string& error);

// A profile is at most this long: anything longer is no profile.
constexpr std::size_t kProfileMaxBytes = std::size_t{64} * 1024;

// A profile file's text: {"format": "tkr520ctl-profile", "version": 1, NAME: VALUE ...}.
ParsedChanges ParseProfile(const std::string& text);
constexpr const char* kProfileFormat = "tkr520ctl-profile";
constexpr int kProfileVersion = 1;

// The bytes of `send --hex 1B 41`, or the error naming the bad word.
std::optional<Bytes> ParseHexWords(const std::vector<std::string>& words, std::string& error);

}  // namespace tkr::ctl
