#include "apps/tkr520ctl/ctl_args.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "apps/option_value.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"

namespace tkr::ctl {

namespace pq = platform::qt;
using apps::OptionValue;
using link::Toggle;

namespace {

std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::strtol(text.c_str(), nullptr, 10);
}

bool IsHexPair(const std::string& s, std::size_t at) {
  return at + 1 < s.size() && protocol::HexDigitValue(s[at]) >= 0 &&
         protocol::HexDigitValue(s[at + 1]) >= 0;
}

// An RTS/CTS pair that the console's interlock never leaves behind, whatever the reader
// reports now: no order of clicks reaches it from any other state.
std::string InterlockError(const std::vector<Change>& changes) {
  int rts = -1, cts = -1;
  for (const Change& c : changes) {
    if (c.field->kind == FieldKind::Toggle && c.field->toggle == Toggle::RTS) rts = c.value;
    if (c.field->kind == FieldKind::Toggle && c.field->toggle == Toggle::CTS) cts = c.value;
  }
  if (rts < 0 || cts < 0) return {};
  for (int from = 0; from < 4; ++from) {
    const int r = from & 1, c = from >> 1;
    if ((r != rts || c != cts) && link::PlanHandshake(r, c, rts, cts)) return {};
  }
  return "rts=" + std::string(rts ? "on" : "off") + " cts=" + (cts ? "on" : "off") +
         ": the interlock never leaves CTS on with RTS off (it changes CTS only while RTS is "
         "on, and RTS only while CTS is off)";
}

}  // namespace

const std::vector<Field>& Fields() {
  using K = FieldKind;
  using I = protocol::ConfigItem;
  static const std::vector<Field> fields = {
      {"buzzer", K::Toggle, Toggle::Buzzer, 0, I::Buzzer},
      {"jis", K::Toggle, Toggle::JIS, 0, I::JIS},
      {"lrc", K::Toggle, Toggle::LRC, 0, I::LRC},
      {"selfarm", K::Toggle, Toggle::SelfArm, 0, I::SelfArm},
      {"sses", K::Toggle, Toggle::SSES, 0, I::SSES},
      {"rts", K::Toggle, Toggle::RTS, 0, I::RTS},
      {"cts", K::Toggle, Toggle::CTS, 0, I::CTS},
      {"protocol", K::Protocol, Toggle::Buzzer, 0, I::Protocol},
      {"tracks", K::Tracks, Toggle::Buzzer, 0, std::nullopt},
      // The dialog's groups: track 1 prefix, track 1 suffix, ... track 3 suffix, separator.
      {"prefix1", K::Code, Toggle::Buzzer, 0, std::nullopt},
      {"suffix1", K::Code, Toggle::Buzzer, 1, std::nullopt},
      {"prefix2", K::Code, Toggle::Buzzer, 2, std::nullopt},
      {"suffix2", K::Code, Toggle::Buzzer, 3, std::nullopt},
      {"prefix3", K::Code, Toggle::Buzzer, 4, std::nullopt},
      {"suffix3", K::Code, Toggle::Buzzer, 5, std::nullopt},
      {"separator", K::Code, Toggle::Buzzer, 6, std::nullopt},
  };
  return fields;
}

const Field* FindField(const std::string& name) {
  for (const Field& f : Fields()) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

std::optional<Change> ParseValue(const Field& field, const std::string& value, std::string& error) {
  Change c;
  c.field = &field;
  c.text = value;
  const std::string what = std::string(field.name) + "=" + value + ": ";
  switch (field.kind) {
    case FieldKind::Toggle:
      if (value != "on" && value != "off") {
        error = what + "give on or off";
        return std::nullopt;
      }
      c.value = value == "on";
      return c;
    case FieldKind::Protocol:
      if (value.size() != 1 || value[0] < '0' || value[0] > '2') {
        error = what + "the protocol is 0, 1 or 2";
        return std::nullopt;
      }
      c.value = value[0] - '0';
      return c;
    case FieldKind::Tracks:
      for (std::size_t i = 0; i < value.size(); i += 2) {
        const int bit = value[i] >= '1' && value[i] <= '3' ? 1 << (value[i] - '1') : 0;
        if (bit == 0 || (c.value & bit) || (i + 1 < value.size() && value[i + 1] != ',')) {
          c.value = 0;
          break;
        }
        c.value |= bit;
      }
      if (c.value == 0 || value.back() == ',') {
        error = what + "give the tracks 1 to 3 to send, such as 1,3";
        return std::nullopt;
      }
      return c;
    case FieldKind::Code: {
      if (value == "default") {
        c.useDefault = true;
        return c;
      }
      const std::size_t most = field.group == 6 ? 1 : 6;
      bool hex = !value.empty() && value.size() % 2 == 0;
      for (std::size_t i = 0; hex && i < value.size(); i += 2) hex = IsHexPair(value, i);
      if (!hex || value.size() / 2 > most) {
        error = what + (most == 1 ? "give one hex code such as 0D, or default"
                                  : "give 1 to 6 hex codes such as 0D0A, or default");
        return std::nullopt;
      }
      for (std::size_t i = 0; i < value.size() / 2; ++i) {
        c.boxes[i] = value.substr(2 * i, 2);
        for (char& ch : c.boxes[i])
          ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      }
      c.text.clear();
      for (std::size_t i = 0; i < value.size() / 2; ++i) c.text += c.boxes[i];
      return c;
    }
  }
  return std::nullopt;
}

ParsedChanges ParseChanges(const std::vector<std::string>& words) {
  ParsedChanges out;
  for (const std::string& word : words) {
    const auto eq = word.find('=');
    const Field* field = FindField(word.substr(0, eq));
    if (eq == std::string::npos || field == nullptr) {
      out.error = "unknown setting " + word.substr(0, eq) + " (give NAME=VALUE)";
      break;
    }
    for (const Change& c : out.changes) {
      if (c.field == field) out.error = std::string(field->name) + " is given twice";
    }
    auto change = ParseValue(*field, word.substr(eq + 1), out.error);
    if (!out.error.empty()) break;
    out.changes.push_back(*change);
  }
  if (out.error.empty()) out.error = InterlockError(out.changes);
  if (!out.error.empty()) out.changes.clear();
  if (out.error.empty() && out.changes.empty()) out.error = "set needs NAME=VALUE";
  return out;
}

ParsedChanges ParseProfile(const std::string& text) {
  ParsedChanges out;
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (!doc.isObject()) {
    out.error = "the profile is no JSON object (" + parseError.errorString().toStdString() + ")";
    return out;
  }
  const QJsonObject o = doc.object();
  if (o.value("format").toString() != kProfileFormat ||
      o.value("version").toInt() != kProfileVersion) {
    out.error = std::string("the profile needs \"format\": \"") + kProfileFormat +
                "\" and \"version\": " + std::to_string(kProfileVersion);
    return out;
  }
  // In the documented order, so a profile applies the same way whatever its key order.
  for (const QString& key : o.keys()) {
    if (key != "format" && key != "version" && !FindField(key.toStdString())) {
      out.error = "unknown profile key " + key.toUtf8().toStdString();
      return out;
    }
  }
  for (const Field& field : Fields()) {
    const QJsonValue v = o.value(field.name);
    if (v.isUndefined()) continue;
    // Numbers only where the value is one (the protocol), and then whole; everything else is
    // text as `set` takes it.
    const double number = v.toDouble();
    const bool whole =
        v.isDouble() && number >= 0 && number <= 9 && number == static_cast<int>(number);
    if (!v.isString() && !(field.kind == FieldKind::Protocol && whole)) {
      const char* type = v.isDouble()  ? "a number"
                         : v.isBool()  ? "true or false"
                         : v.isNull()  ? "null"
                         : v.isArray() ? "a list"
                                       : "an object";
      out.error = std::string(field.name) + ": the value is " + type + "; give " +
                  (field.kind == FieldKind::Protocol ? "0, 1 or 2" : "text, as set takes it");
      return out;
    }
    const std::string value = v.isDouble() ? std::to_string(static_cast<int>(number))
                                           : v.toString().toUtf8().toStdString();
    auto change = ParseValue(field, value, out.error);
    if (!change) return {{}, out.error};
    out.changes.push_back(*change);
  }
  if (out.changes.empty()) out.error = "the profile sets nothing";
  if (out.error.empty()) out.error = InterlockError(out.changes);
  if (!out.error.empty()) out.changes.clear();
  return out;
}

std::optional<Bytes> ParseHexWords(const std::vector<std::string>& words, std::string& error) {
  Bytes out;
  for (const std::string& w : words) {
    if (w.size() != 2 || !IsHexPair(w, 0)) {
      error = "bad hex byte " + w + " (give two hex digits a byte, such as 1B 41)";
      return std::nullopt;
    }
    out += static_cast<char>(protocol::HexDigitValue(w[0]) * 16 + protocol::HexDigitValue(w[1]));
  }
  if (out.empty()) error = "send --hex needs bytes, such as 1B 41";
  if (out.empty()) return std::nullopt;
  return out;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine out;
  Options& o = out.options;
  std::string& error = out.error;
  for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (OptionValue(args, i, "--port", value, error)) {
      if (!error.empty()) break;
      const pq::PortOptionResult parsed = pq::ParsePortOption(value);
      if (!parsed.option) error = "--port " + value + ": " + parsed.error;
      if (parsed.option) o.ports.push_back(*parsed.option);
    } else if (OptionValue(args, i, "--com", value, error)) {
      const auto n = WholeNumber(value);
      if (error.empty() && (!n || *n < pq::kFirstPort || *n > pq::kLastPort)) {
        error = "--com " + value + ": give a port number from 1 to 16";
      }
      if (error.empty()) o.com = static_cast<int>(*n);
      if (error.empty()) o.coms.push_back(o.com);
    } else if (OptionValue(args, i, "--settings", value, error)) {
      if (error.empty() && !protocol::ParseSettings(value)) {
        error = "--settings " + value + ": give baud,parity,data,stop such as 9600,n,8,1";
      }
      o.settings = value;
    } else if (OptionValue(args, i, "--count", value, error)) {
      const auto n = WholeNumber(value);
      if (error.empty() && (!n || *n < 1)) error = "--count " + value + ": give a number of cards";
      if (error.empty()) o.count = static_cast<int>(*n);
    } else if (OptionValue(args, i, "--timeout", value, error)) {
      char* end = nullptr;
      const double s = std::strtod(value.c_str(), &end);
      if (error.empty() && (value.empty() || *end != '\0' || !(s > 0) || s > 86400)) {
        error = "--timeout " + value + ": give seconds, such as 30";
      }
      o.timeoutS = s;
    } else if (OptionValue(args, i, "--log", value, error)) {
      if (error.empty() && value.empty()) error = "--log needs a file";
      o.log = value;
    } else if (arg == "--no-system-ports") {
      o.systemPorts = false;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--hex") {
      o.hex = true;
    } else if (arg == "--show-pan") {
      o.showPan = true;
    } else if (arg == "--timestamps") {
      o.timestamps = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--check") {
      o.check = true;
    } else if (arg.size() > 1 && arg[0] == '-' && !(o.hex && !o.words.empty())) {
      error = "unknown option " + arg;
    } else {
      o.words.push_back(arg);
    }
  }
  if (error.empty() && !o.help && !o.version && o.words.empty()) error = "no command given";
  return out;
}

std::string UsageText() {
  return "Usage: tkr520ctl [options] COMMAND [ARGS]\n"
         "The TKR520 card reader from the command line, with the console's bytes on the wire.\n"
         "\n"
         "Options:\n"
         "  --port COMn=DEVICE   open DEVICE as COMn (n = 1..16); may be repeated\n"
         "  --no-system-ports    use only the --port devices\n"
         "  --com N              use COMN at --settings; without it the reader is detected\n"
         "                       on COM1..COM16 at 9600,n,8,1 first (station: may be\n"
         "                       repeated, the numbers it serves)\n"
         "  --settings S         line settings for --com, such as 9600,n,8,1 (the default)\n"
         "  --json               print one JSON object with \"schema\": 1, \"status\" and, on\n"
         "                       failure, \"error\" (capture, monitor: one a line, then it)\n"
         "  --version            print the version and end\n"
         "  --help               show this text\n"
         "\n"
         "Commands:\n"
         "  ports                the COM map as the console's --list-ports prints it:\n"
         "                       COM1..COM16, device, whether it opens, USB details\n"
         "  detect               find the reader: port, baud rate, firmware version\n"
         "  status               read the configuration back and print the Current Settings\n"
         "  set NAME=VALUE...    change settings as the console's controls do, then compare\n"
         "                       the read-back with what was asked:\n"
         "                         buzzer jis lrc selfarm sses rts cts   on | off\n"
         "                           rts and cts pass the console's interlock: CTS changes\n"
         "                           only while RTS is on, RTS only while CTS is off; named\n"
         "                           together they go in the order it lets through;\n"
         "                           rts=off cts=on is refused before anything is sent;\n"
         "                           cts=on with RTS off and rts=off with CTS on are\n"
         "                           refused after the connection's read-back\n"
         "                         tracks      1..3, such as 1,3\n"
         "                         protocol    0 | 1 | 2\n"
         "                         prefix1..3 suffix1..3   up to 6 hex codes (0D0A) | default\n"
         "                         separator   one hex code (0D) | default\n"
         "                       prefixes, suffixes and the separator go together as the\n"
         "                       dialog's OK sends them: the groups not named go to default\n"
         "  defaults             the Default button: factory settings, then a read-back\n"
         "  send TEXT            a host command as the command box sends it (a list row's\n"
         "                       text such as \"Card Type Report\", or typed text); prints\n"
         "                       the reply in hex and decoded\n"
         "  send --hex HH...     the same for bytes, such as --hex 1B 41\n"
         "  capture [--count N] [--timeout S] [--show-pan]\n"
         "                       wait for swipes; per card the card type and tracks 1-3,\n"
         "                       the account number masked to its first 6 and last 4 digits\n"
         "                       (--show-pan: whole); ends after N cards (exit 1 when S\n"
         "                       seconds pass first), after S seconds, or at Ctrl-C (exit\n"
         "                       130, once the card being read is printed); --json\n"
         "                       adds per financial track format_code, account_number,\n"
         "                       name, expiry, service_code; nothing is written to disk\n"
         "  monitor [--timestamps]\n"
         "                       print each reception in the monitor's format until Ctrl-C\n"
         "                       (--json: record, hex, time); sends nothing once the\n"
         "                       reader is found\n"
         "  profile save FILE    write the read-back configuration as JSON: format\n"
         "                       \"tkr520ctl-profile\", version 1, and the keys buzzer jis\n"
         "                       lrc selfarm sses rts cts protocol (apply also takes tracks,\n"
         "                       prefix1..3, suffix1..3, separator)\n"
         "  profile apply FILE [--check]\n"
         "                       set the fields of FILE that the read-back does not show\n"
         "                       already (tracks and codes have none: always sent), each\n"
         "                       verified by a read-back; --json tells \"changed\"; --check\n"
         "                       prints each field now and wanted and sends no change; a bad\n"
         "                       key or value is refused before anything is sent; FILE is\n"
         "                       a regular file of at most 64 KiB, or - for standard input\n"
         "  profile diff FILE    the read-back against FILE in the unified diff shape; exit 0\n"
         "                       equal, 1 different, 2 trouble (as diff)\n"
         "  station PROFILE [--log FILE]\n"
         "                       serve COM1..COM16 (or the --com and --port numbers): each\n"
         "                       reader plugged in is detected, gets PROFILE as profile apply\n"
         "                       sets it and one line (time, port, device, firmware, ok,\n"
         "                       acknowledged or failed: reason); the port then waits for it\n"
         "                       to be unplugged; --log appends one JSON line a reader, no\n"
         "                       card data; Ctrl-C prints the summary, exit 0 when every\n"
         "                       reader was ok, 3 otherwise\n"
         "\n"
         "Every value read from the reader is shown with its account numbers masked unless\n"
         "--show-pan is given (capture, monitor, send).\n"
         "\n"
         "Exit status: 0 done; 1 the port failed, the device is not a TKR520, the reader did\n"
         "not answer or was lost, or the report could not be written; 2 usage error\n"
         "(nothing sent; nothing but the read-back for an RTS/CTS refusal that needs the\n"
         "reader's state); 3 the reader answered but did not take a change (station: a\n"
         "reader was not ok).\n";
}

}  // namespace tkr::ctl
