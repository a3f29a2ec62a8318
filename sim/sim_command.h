#pragma once
// One line of the simulator's standard input, parsed apart from the pseudo-terminal so that
// every odd line a script or a person may type can be tried without a reader.
#include <string>

#include "sim/reader_model.h"

namespace tkr::sim {

struct SimCommand {
  enum class Kind {
    Nothing,
    Quit,
    Swipe,
    Unplug,
    Replug,
    SetFault,
    Ignore,
    Vanish,
    Flood,
    Received,
    Heard,
    Sent,
    Config,
    Help,
    Bad
  };
  Kind kind = Kind::Nothing;
  Card card;                    // Swipe
  Fault fault = Fault::Normal;  // SetFault
  std::string code;             // Ignore: a frame's two-letter code; Vanish: that or one byte
  bool times = false;           // Received: each command with the wall-clock time it came
  std::size_t count = 0;        // Flood: how many bytes
  std::string error;            // Bad: what to tell the operator
};

// "\xHH" stands for the byte HH; anything else is taken as it is.
Bytes UnescapeBytes(const std::string& text);

SimCommand ParseSimCommand(const std::string& line);

// The words `config` prints ("buzzer=0", "protocol=2"), parted by commas or spaces, set in
// `config`. Returns what is wrong with the first word that is not one, else empty.
std::string ApplyConfigWords(const std::string& words, ReaderConfig& config);

}  // namespace tkr::sim
