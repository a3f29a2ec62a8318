// The parsers of text that comes from outside the console, one family per first byte:
// line settings strings, the code boxes and the frames built from them, the simulator's
// standard input, and the console's command line with its --port values.
#include <array>
#include <string>
#include <vector>

#include "apps/console_main.h"
#include "core/protocol/frames.h"
#include "core/protocol/line_settings.h"
#include "core/protocol/monitor_format.h"
#include "sim/sim_command.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using namespace tkr;
using fuzz::Require;

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

std::uint8_t Xor(const Bytes& frame) {
  std::uint8_t x = 0;
  for (char c : frame) x ^= static_cast<std::uint8_t>(c);
  return x;
}

void LineSettingsFamily(const std::string& text) {
  const auto parsed = protocol::ParseSettings(text);
  const auto parts = protocol::SplitSettings(text);
  Require(parts.baud + (text.find(',') == std::string::npos ? "" : ",") + parts.frame == text,
          "settings: baud and frame parts do not make up the text");
  if (!parsed) return;
  Require(parsed->baud > 0 && std::string("neoms").find(parsed->parity) != std::string::npos &&
              (parsed->dataBits == 7 || parsed->dataBits == 8) &&
              (parsed->stopBits == 1 || parsed->stopBits == 2),
          "settings: accepted values out of range");
  Require(protocol::CharacterTime(*parsed) > 0, "settings: no time per character");
}

void CodesFamily(fuzz::Input& in) {
  std::array<std::uint8_t, 6> codes{};
  for (auto& code : codes) {
    const std::string box = in.bytes(3);
    // First character the high half, every later one at weight 1, non-hex as 0.
    unsigned expected = 0;
    for (std::size_t i = 0; i < box.size(); ++i)
      expected += static_cast<unsigned>(Hex(box[i])) * (i == 0 ? 16 : 1);
    code = protocol::HexCodeToByte(box);
    Require(code == (expected & 0xFF), "code box value");
  }
  const char kind = in.byte() & 1 ? 's' : 'p';
  const int track = in.below(3) + 1;
  const Bytes frame = protocol::BuildCodeFrame(kind, track, codes);
  Require(
      frame.size() == 12 &&
          frame.substr(0, 5) == Bytes{'\x09', '\0', '\x08', kind, static_cast<char>('0' + track)} &&
          Xor(frame) == 0,
      "code frame: head or check byte");
  for (std::size_t i = 0; i < 6; ++i)
    Require(static_cast<std::uint8_t>(frame[5 + i]) == codes[i], "code frame: codes");
  const Bytes separator = protocol::BuildSeparatorFrame(codes[0]);
  Require(separator.size() == 7 && separator.substr(0, 5) == Bytes("\x09\0\x03SP", 5) &&
              Xor(separator) == 0,
          "separator frame");
  const Bytes payload = in.bytes();
  Require(protocol::MakeFrame(payload).size() == payload.size() + 4 &&
              Xor(protocol::MakeFrame(payload)) == 0,
          "frame around a payload");
  Require(protocol::HexDumpLine(payload).size() == payload.size() * 4 + 2,
          "hex dump: four characters a byte");
}

void SimFamily(const std::string& line) {
  const Bytes unescaped = sim::UnescapeBytes(line);
  Require(unescaped.size() <= line.size(), "unescaping made the text longer");
  if (line.find('\\') == std::string::npos)
    Require(unescaped == line, "unescaping changed plain text");
  const sim::SimCommand command = sim::ParseSimCommand(line);
  Require((command.kind == sim::SimCommand::Kind::Bad) == !command.error.empty(),
          "sim: error without Bad");
}

void CommandLineFamily(fuzz::Input& in) {
  std::vector<std::string> args;
  while (!in.empty()) args.push_back(in.word('\0'));
  for (const std::string& arg : args) {
    const auto parsed = platform::qt::ParsePortOption(arg);
    Require(parsed.option.has_value() == parsed.error.empty(), "--port: both or neither");
    if (parsed.option)
      Require(parsed.option->port >= 1 && parsed.option->port <= 16 &&
                  parsed.option->device == arg.substr(arg.find('=') + 1),
              "--port: number or device");
  }
  const apps::ParsedOptions options = apps::ParseOptions(args);
  if (!options.error.empty()) return;
  Require(options.options.ports.size() <= args.size(), "more ports than arguments");
  for (const auto& port : options.options.ports)
    Require(port.port >= 1 && port.port <= 16 && !port.device.empty(), "port option");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  switch (in.below(4)) {
    case 0:
      LineSettingsFamily(in.word('\n'));
      break;
    case 1:
      CodesFamily(in);
      break;
    case 2:
      SimFamily(in.word('\n'));
      break;
    default:
      CommandLineFamily(in);
      break;
  }
  return 0;
}
