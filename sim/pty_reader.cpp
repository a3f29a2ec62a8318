#include "sim/pty_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>

namespace tkr::sim {
namespace {

using namespace std::chrono_literals;

// A hang-up stays reported for as long as nobody has the terminal open. The host's open is
// seen at once through a watch on the device node; this is only the fallback look.
constexpr auto kAwayRetry = 250ms;
// The host is not reading and its side of the terminal is full.
constexpr auto kFullRetry = 1ms;

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

protocol::LineSettings FromTermios(const termios& t) {
  protocol::LineSettings s;
  switch (cfgetospeed(&t)) {
    case B1200:
      s.baud = 1200;
      break;
    case B2400:
      s.baud = 2400;
      break;
    case B4800:
      s.baud = 4800;
      break;
    case B19200:
      s.baud = 19200;
      break;
    case B38400:
      s.baud = 38400;
      break;
    case B57600:
      s.baud = 57600;
      break;
    case B115200:
      s.baud = 115200;
      break;
    default:
      s.baud = 9600;
      break;
  }
  if (!(t.c_cflag & PARENB)) {
    s.parity = 'n';
  } else if (t.c_cflag & CMSPAR) {
    s.parity = (t.c_cflag & PARODD) ? 'm' : 's';
  } else {
    s.parity = (t.c_cflag & PARODD) ? 'o' : 'e';
  }
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return s;
}

timespec ToTimespec(std::chrono::nanoseconds d) {
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(d);
  return {static_cast<time_t>(secs.count()), static_cast<long>((d - secs).count())};
}

}  // namespace

PtyReader::PtyReader() : PtyReader(Options{}) {}

PtyReader::PtyReader(Options options)
    : model_(options.seed),
      linkPath_(std::move(options.linkPath)),
      replyDelay_(options.replyDelay) {
  model_.setConfig(options.config);
  if (linkPath_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/tkr520-sim.XXXXXX";
    if (!mkdtemp(dir.data())) Fail("mkdtemp");
    ownDir_ = dir;
    linkPath_ = dir + "/ttyTKR0";
  } else if (struct stat st{}; lstat(linkPath_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    errno = EEXIST;  // never replace a real file with our link
    Fail(linkPath_);
  }
  std::array<int, 2> fds{};
  if (pipe2(fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) Fail("pipe2");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  if (options.unplugged) {
    unlink(linkPath_.c_str());  // a link left there points at no reader of ours
  } else {
    std::lock_guard lock(mu_);
    openPty();
  }
  thread_ = std::thread(&PtyReader::run, this);
}

PtyReader::~PtyReader() {
  stop();
}

void PtyReader::stop() {
  {
    std::lock_guard lock(mu_);
    if (stopping_) return;
    stopping_ = true;
    wake();
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mu_);
  closePty();
  close(wakeRead_);
  close(wakeWrite_);
  if (inotify_ >= 0) close(inotify_);
  if (!ownDir_.empty()) rmdir(ownDir_.c_str());
}

void PtyReader::openPty() {
  const int m = posix_openpt(O_RDWR | O_NOCTTY);
  if (m < 0) Fail("posix_openpt");
  std::array<char, 128> name{};
  if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name.data(), name.size()) != 0 ||
      fcntl(m, F_SETFL, O_NONBLOCK) != 0 || fcntl(m, F_SETFD, FD_CLOEXEC) != 0) {
    const int err = errno;
    close(m);
    errno = err;
    Fail("pseudo-terminal");
  }
  // Open our side's partner once: a fresh terminal echoes and waits for line ends, a serial
  // line does neither; and only after a first close does a hang-up tell that nobody listens.
  const int s = open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s >= 0) {
    termios t{};
    if (tcgetattr(s, &t) == 0) {
      cfmakeraw(&t);
      cfsetspeed(&t, B9600);
      t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) | CS8 | CREAD | CLOCAL;
      tcsetattr(s, TCSANOW, &t);
    }
    close(s);
  }
  master_ = m;
  devPath_ = name.data();
  hostAway_ = true;
  // Wake when the host opens the port rather than polling for it: 16 idle readers polling
  // would cost more CPU than the console itself.
  if (inotify_ < 0) inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ >= 0) inotify_add_watch(inotify_, devPath_.c_str(), IN_OPEN);
  // Swap the link in one step, so a host never finds it missing or half made.
  const std::string tmp = linkPath_ + ".new";
  unlink(tmp.c_str());
  if (symlink(devPath_.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), linkPath_.c_str()) != 0) {
    const int err = errno;
    closePty();
    errno = err;
    Fail(linkPath_);
  }
}

void PtyReader::closePty() {
  if (master_ >= 0) {
    close(master_);
    unlink(linkPath_.c_str());
  }
  vanishing_ = false;
  vanishBy_.reset();
  master_ = -1;
  devPath_.clear();
  dropOutput();
  hostAway_ = true;
}

void PtyReader::dropOutput() {
  out_.clear();
  txFreeAt_ = {};
}

void PtyReader::wake() {
  const char c = 1;
  [[maybe_unused]] const auto n = write(wakeWrite_, &c, 1);  // a full pipe wakes as well
}

void PtyReader::request(Request r) {
  std::unique_lock lock(mu_);
  if (stopping_) return;
  request_ = r;
  wake();
  done_.wait(lock, [this] { return request_ == Request::None || stopping_; });
}

void PtyReader::unplug() {
  request(Request::Unplug);
}

void PtyReader::replug() {
  std::lock_guard lock(mu_);
  // The thread polls only its wake pipe while unplugged, so the new terminal is safe to make
  // here, where an error can reach the caller.
  if (stopping_ || master_ >= 0) return;
  openPty();
  wake();
}

bool PtyReader::plugged() const {
  std::lock_guard lock(mu_);
  return master_ >= 0;
}

std::string PtyReader::devicePath() const {
  std::lock_guard lock(mu_);
  return devPath_;
}

void PtyReader::swipe(const Card& card) {
  std::lock_guard lock(mu_);
  if (vanishing_) return;
  const Bytes data = model_.swipe(card);
  if (master_ < 0 || hostAway_ || !SameLine(hostLine(), model_.line())) return;
  queue(data, Clock::now());
  wake();
}

void PtyReader::ignore(const std::string& code) {
  std::lock_guard lock(mu_);
  model_.ignore(code);
}

void PtyReader::vanishAfter(const Bytes& code) {
  std::lock_guard lock(mu_);
  model_.vanishAfter(code);
}

void PtyReader::flood(std::size_t count) {
  std::lock_guard lock(mu_);
  if (master_ < 0 || hostAway_ || vanishing_) return;
  const auto now = Clock::now();
  for (std::size_t i = 0; i < count; ++i) {
    floodState_ = floodState_ * 1103515245u + 12345u;
    out_.push_back({now, static_cast<char>(floodState_ >> 24)});
  }
  txFreeAt_ = std::max(txFreeAt_, now);
  wake();
}

Bytes PtyReader::takeSent(bool* pending) {
  std::lock_guard lock(mu_);
  if (pending) *pending = !out_.empty();
  Bytes taken;
  taken.swap(sent_);
  return taken;
}

void PtyReader::setFault(Fault fault) {
  std::lock_guard lock(mu_);
  model_.setFault(fault);
}

void PtyReader::setReplyDelay(std::chrono::microseconds delay) {
  std::lock_guard lock(mu_);
  replyDelay_ = delay;
}

void PtyReader::setByteGap(std::chrono::microseconds gap) {
  std::lock_guard lock(mu_);
  byteGap_ = gap;
}

std::vector<Bytes> PtyReader::received() const {
  std::lock_guard lock(mu_);
  return model_.commands();
}

std::vector<std::int64_t> PtyReader::receivedAtUs() const {
  std::lock_guard lock(mu_);
  return receivedAtUs_;
}

Bytes PtyReader::receivedRaw() const {
  std::lock_guard lock(mu_);
  return model_.raw();
}

std::size_t PtyReader::ignoredBytes() const {
  std::lock_guard lock(mu_);
  return model_.ignoredBytes();
}

ReaderConfig PtyReader::config() const {
  std::lock_guard lock(mu_);
  return model_.config();
}

protocol::LineSettings PtyReader::line() const {
  std::lock_guard lock(mu_);
  return model_.line();
}

protocol::LineSettings PtyReader::hostLine() const {
  // Terminal attributes asked of the master side are those of the host's side.
  termios t{};
  if (master_ < 0 || tcgetattr(master_, &t) != 0) return {};
  return FromTermios(t);
}

void PtyReader::queue(const Bytes& bytes, Clock::time_point start) {
  const auto charTime = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(protocol::CharacterTime(hostLine())));
  Clock::time_point t = std::max(start, txFreeAt_);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) t += byteGap_;
    t += charTime;
    out_.push_back({t, bytes[i]});
  }
  txFreeAt_ = t;
}

bool PtyReader::readHost() {
  std::array<char, 256> buf{};
  for (;;) {
    const ssize_t n = read(master_, buf.data(), buf.size());
    if (n <= 0) return n < 0 && errno == EIO;  // EIO: the host has closed its side
    const auto now = Clock::now();
    if (now - lastHeardAt_ > std::chrono::milliseconds(ReaderModel::kFrameTimeoutMs)) {
      model_.lineWasQuiet();
    }
    lastHeardAt_ = now;
    const protocol::LineSettings host = hostLine();
    const auto replies = model_.hostWrote(Bytes(buf.data(), static_cast<std::size_t>(n)), host);
    const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    receivedAtUs_.resize(model_.commands().size(), wall.count());
    // A warm reset may have moved the reader to other settings: then its answer is noise.
    const bool heard = SameLine(host, model_.line());
    for (const auto& reply : replies) {
      if (heard) queue(reply.bytes, Clock::now() + replyDelay_);
      if (reply.thenVanish) {
        vanishing_ = true;  // what the host writes from now on stays unread
        return false;
      }
    }
  }
}

void PtyReader::lingerOrVanish() {
  if (!out_.empty()) return;
  if (!vanishBy_) {
    // Only a write that comes after the answer tells that the host has taken it.
    std::array<char, 256> unheard{};
    while (read(master_, unheard.data(), unheard.size()) > 0) {
    }
    vanishBy_ = Clock::now() + kVanishLinger;
  } else if (Clock::now() >= *vanishBy_) {
    closePty();
  }
}

void PtyReader::sendDue() {
  const auto now = Clock::now();
  while (!out_.empty() && out_.front().due <= now) {
    const ssize_t n = write(master_, &out_.front().byte, 1);
    if (n == 1) {
      sent_ += out_.front().byte;
      out_.pop_front();
    } else if (n < 0 && errno == EAGAIN) {
      out_.front().due = now + kFullRetry;
      return;
    } else {
      dropOutput();
    }
  }
}

void PtyReader::run() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    if (request_ == Request::Unplug) {
      closePty();
      request_ = Request::None;
      done_.notify_all();
      continue;
    }
    std::array<pollfd, 2> fds{{{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}}};
    nfds_t count = 1;
    std::optional<timespec> timeout;
    if (master_ >= 0 && hostAway_) {
      timeout = ToTimespec(kAwayRetry);
      if (inotify_ >= 0) {
        fds[1] = {inotify_, POLLIN, 0};
        count = 2;
      }
    } else if (master_ >= 0) {
      count = 2;
      if (vanishing_ && !vanishBy_) fds[1].events = 0;  // hang-ups only
      if (!out_.empty())
        timeout = ToTimespec(std::max(out_.front().due - Clock::now(), Clock::duration{}));
      else if (vanishBy_)
        timeout = ToTimespec(std::max(*vanishBy_ - Clock::now(), Clock::duration{}));
    }
    lock.unlock();
    ppoll(fds.data(), count, timeout ? &*timeout : nullptr, nullptr);
    lock.lock();
    std::array<char, 64> drain{};
    while (read(wakeRead_, drain.data(), drain.size()) > 0) {
    }
    const bool watching = hostAway_ && fds[1].fd == inotify_;
    if (watching) {
      while (read(inotify_, drain.data(), drain.size()) > 0) {
      }
    }
    if (stopping_ || request_ != Request::None || master_ < 0) continue;
    if (count == 1 || watching) {
      fds[1] = {master_, POLLIN, 0};
      poll(&fds[1], 1, 0);
    }
    const short revents = fds[1].revents;
    if (vanishBy_ && (revents & POLLIN)) {
      closePty();  // the host has moved on to its next command
      continue;
    }
    const bool hungUp =
        ((revents & POLLIN) && readHost()) || (revents & (POLLHUP | POLLERR | POLLNVAL));
    if (hungUp) {
      hostAway_ = true;
    } else if ((revents & POLLIN) || count == 1 || watching) {
      hostAway_ = false;
    }
    if (hostAway_) {
      dropOutput();  // bytes sent into a port nobody holds open are lost
      if (vanishing_) closePty();
    } else {
      sendDue();
      if (vanishing_) lingerOrVanish();
    }
  }
  done_.notify_all();
}

}  // namespace tkr::sim
