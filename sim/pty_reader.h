#pragma once
// The reader on a POSIX pseudo-terminal, served by a thread of its own, so that the real
// console (or any terminal program) can open it like a serial port. A symlink of stable name
// points at the current /dev/pts/N; the console maps a COM number to it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader_model.h"

namespace tkr::sim {

class PtyReader {
 public:
  struct Options {
    std::string linkPath;  // empty: <fresh temp dir>/ttyTKR0
    std::uint32_t seed = 1;
    std::chrono::microseconds replyDelay{2000};
    ReaderConfig config;     // the settings it starts with, as if made before the test
    bool unplugged = false;  // no pseudo-terminal, no link until replug()
  };

  // Creates the pseudo-terminal and the link and starts serving; throws std::system_error.
  PtyReader();
  explicit PtyReader(Options options);
  ~PtyReader();  // stop()
  PtyReader(const PtyReader&) = delete;
  PtyReader& operator=(const PtyReader&) = delete;

  // The symlink that the host opens.
  const std::string& path() const { return linkPath_; }
  // The /dev/pts/N it points at now; empty while unplugged.
  std::string devicePath() const;

  void swipe(const Card& card);
  // A device that streams: `count` bytes of every value, back to back as fast as the host
  // takes them, whatever the line settings.
  void flood(std::size_t count);
  void setFault(Fault fault);
  void ignore(const std::string& code);
  // ReaderModel::vanishAfter. With the answer out, the reader unplugs itself as unplug() does
  // as soon as the host writes again (it has taken the answer and moved on) or closes the
  // port, at the latest kVanishLinger after the answer's last byte; it hears nothing more.
  // Going at once would lose the answer: a hang-up empties what the host has not yet read.
  void vanishAfter(const Bytes& code);
  static constexpr std::chrono::milliseconds kVanishLinger{1000};
  void setReplyDelay(std::chrono::microseconds delay);
  // Extra idle time between the bytes of one answer.
  void setByteGap(std::chrono::microseconds gap);

  // Closes the pseudo-terminal (an open host sees a hang-up) and removes the link.
  void unplug();
  // A new pseudo-terminal behind the same link.
  void replug();
  bool plugged() const;

  // What the reader heard, each command unit in order, and the raw bytes.
  std::vector<Bytes> received() const;
  Bytes receivedRaw() const;
  // When the read that completed each of received() came, in microseconds since the epoch.
  std::vector<std::int64_t> receivedAtUs() const;
  // The bytes written to the host since the last call, and whether more are still queued.
  Bytes takeSent(bool* pending = nullptr);
  // Bytes that came at settings other than the reader's own, and were ignored.
  std::size_t ignoredBytes() const;
  ReaderConfig config() const;
  protocol::LineSettings line() const;

  // Ends the serving thread and removes the link; idempotent.
  void stop();

 private:
  using Clock = std::chrono::steady_clock;
  enum class Request { None, Unplug, Replug };
  struct OutByte {
    Clock::time_point due;
    char byte;
  };

  void run();
  void request(Request r);
  void openPty();   // with mu_ held
  void closePty();  // with mu_ held
  void wake();
  // The host's settings as its side of the terminal holds them (9600,n,8,1 if unreadable).
  protocol::LineSettings hostLine() const;
  // Feeds what the host wrote to the model; true when the host turned out to have gone.
  bool readHost();
  void sendDue();
  void dropOutput();
  void queue(const Bytes& bytes, Clock::time_point start);
  // While vanishing: starts the linger once the answer is out, and unplugs when it is over.
  void lingerOrVanish();

  mutable std::mutex mu_;
  std::condition_variable done_;
  ReaderModel model_;
  std::string linkPath_;
  std::string ownDir_;  // removed at stop when we made it
  std::string devPath_;
  int inotify_ = -1;  // watches the device node for the host's open
  int master_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  bool hostAway_ = true;  // nobody has the terminal open: what we send would be lost
  bool stopping_ = false;
  bool vanishing_ = false;                     // its last answer is queued or out
  std::optional<Clock::time_point> vanishBy_;  // set once that answer's last byte is out
  Request request_ = Request::None;
  std::chrono::microseconds replyDelay_;
  std::chrono::microseconds byteGap_{0};
  std::deque<OutByte> out_;
  Bytes sent_;  // written to the host, not yet taken
  std::uint32_t floodState_ = 1;
  Clock::time_point txFreeAt_{};
  Clock::time_point lastHeardAt_{};  // reader thread only
  std::vector<std::int64_t> receivedAtUs_;
  std::thread thread_;
};

}  // namespace tkr::sim
