#pragma once
// A console on the fake platform with the simulated reader plugged into one COM port.
#include <memory>
#include <utility>

#include "sim/in_process.h"
#include "tests/support/fake_console.h"

namespace tkr::testing {

struct WithReader {
  explicit WithReader(Edition edition = Edition::Current, int comPort = 1)
      : c(edition), reader(std::make_unique<sim::InProcessReader>(c.loop)) {
    if (comPort > 0) reader->attachTo(c.port, comPort);
  }
  ~WithReader() { reader.reset(); }  // the reader goes before the port it is plugged into

  // Runs the start-up sequence.
  void load() { c.load(); }
  // Commands the reader received, each as one unit (a frame or a single byte).
  const std::vector<Bytes>& heard() const { return reader->received(); }
  std::size_t mark() const { return heard().size(); }
  std::vector<Bytes> heardSince(std::size_t mark) const {
    return {heard().begin() + static_cast<std::ptrdiff_t>(mark), heard().end()};
  }

  FakeConsole c;
  std::unique_ptr<sim::InProcessReader> reader;
};

inline Bytes Frame(std::initializer_list<int> bytes) { return MakeBytes(bytes); }
// The configuration read-out, sent after every change, and the warm reset.
inline const Bytes kRE1 = Frame({0x09, 0x00, 0x03, 0x52, 0x45, 0x31, 0x2C});
inline const Bytes kReset = "\x7F";

// A console with the command table built and COM1 open on a scripted far end, no start-up.
struct Connected {
  explicit Connected(Edition edition = Edition::Current, ScriptedDevice::Answer answer = {})
      : c(edition), dev(c.loop, std::move(answer)) {
    c.port.attach(1, &dev);
    c.m().CommandTable.BuildCommandTable();
    c.m().ReplyStatusEnabled = true;
    c.m().TimeBase = 100;
    c.timer1.setInterval(100);
    c.m().OpenPort(1, "9600,n,8,1", false);
  }
  FakeConsole c;
  ScriptedDevice dev;
};

}  // namespace tkr::testing
