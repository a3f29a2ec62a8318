#pragma once
// A console on the fake platform with the simulated reader plugged into one COM port.
#include <functional>
#include <memory>
#include <utility>

#include "sim/in_process.h"
#include "tests/support/fake_console.h"

namespace tkr::testing {

struct WithReader {
  explicit WithReader(Edition edition = Edition::Current, int comPort = 1, bool loaded = false)
      : c(edition), reader(std::make_unique<sim::InProcessReader>(c.loop)) {
    if (comPort > 0) reader->attachTo(c.port, comPort);
    if (loaded) load();
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
  // The commands the reader received while `action` ran.
  std::vector<Bytes> heardDuring(const std::function<void()>& action) {
    const std::size_t before = mark();
    action();
    return heardSince(before);
  }
  // A command table entry as the console sends it (its bytes are pinned by the table's test).

  FakeConsole c;
  std::unique_ptr<sim::InProcessReader> reader;
};

// The configuration read-out, sent after every change, and the warm reset.
inline const Bytes kRE1 = MakeBytes({0x09, 0x00, 0x03, 0x52, 0x45, 0x31, 0x2C});
inline const Bytes kReset = "\x7F";

// A reader on COM1 of a console that went through its start-up.
struct Loaded : WithReader {
  explicit Loaded(Edition edition = Edition::Current) : WithReader(edition, 1, true) {}
};

// A console with the command table built and COM1 open on a scripted far end, no start-up.

struct Connected {
  explicit Connected(Edition edition = Edition::Current, ScriptedDevice::Answer answer = {})
      : c(edition), dev(c.loop, std::move(answer)) {
    c.port.attach(1, &dev);
    c.m().PrepareExchanges();
    c.m().OpenPort(1, "9600,n,8,1", false);
  }
  FakeConsole c;
  ScriptedDevice dev;
};

}  // namespace tkr::testing
