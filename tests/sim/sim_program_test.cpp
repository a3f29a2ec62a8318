// The tkr520-sim program driven the way a test script or an operator drives it: commands on
// stdin, the device path on the first line of stdout.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <string>
#include <vector>

#include "tests/sim/pty_io.h"

extern char** environ;

namespace tkr::sim {
namespace {

using namespace test;

class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    std::array<int, 2> in{}, out{}, err{};
    EXPECT_EQ(pipe2(in.data(), O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(out.data(), O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err.data(), O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), TKR_SIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, TKR_SIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }
  ~Program() {
    closeStdin();
    close(stdout_);
    close(stderr_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  void say(const std::string& line) { EXPECT_TRUE(WriteAll(stdin_, line + "\n")); }
  void closeStdin() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }
  std::string outLine() {
    if (pending_.find('\n') == Bytes::npos) {
      pending_ += ReadUntil(stdout_, [](const Bytes& b) { return b.find('\n') != Bytes::npos; });
    }
    const auto nl = pending_.find('\n');
    if (nl == Bytes::npos) return {};
    std::string line = pending_.substr(0, nl);
    pending_.erase(0, nl + 1);
    return line;
  }
  std::string allStderr() {
    return ReadUntil(stderr_, [](const Bytes&) { return false; });
  }
  // Waits for the program to close its output (it has ended), then reaps it.
  int exitStatus() {
    ReadUntil(stdout_, [](const Bytes&) { return false; });
    int status = -1;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  Bytes pending_;
};

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

TEST(SimProgram, ServesTheTerminalAndObeysItsCommands) {
  Program sim({});
  const std::string path = sim.outLine();
  ASSERT_FALSE(path.empty());
  const int host = OpenRaw(path);
  ASSERT_GE(host, 0) << path;
  ASSERT_TRUE(WriteAll(host, "9"));
  EXPECT_EQ(ReadCount(host, 11), "TKR510V1.07");

  sim.say("swipe + \\x31\\x322\\x33 *");
  const Bytes swiped = "+\r;1223?6\r*\r";
  EXPECT_EQ(ReadCount(host, swiped.size()), swiped);
  ASSERT_TRUE(WriteAll(host, "T"));
  EXPECT_EQ(ReadCount(host, 1), "3");

  sim.say("bogus words");
  sim.say("received");
  EXPECT_EQ(sim.outLine(), "39");
  EXPECT_EQ(sim.outLine(), "54");
  sim.say("quit");
  EXPECT_EQ(sim.exitStatus(), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_NE(sim.allStderr().find("bogus words"), std::string::npos);
  close(host);
}

TEST(SimProgram, EndOfInputEndsCleanly) {
  Program sim({"--link", "/tmp/tkr-sim-eof-test-link"});
  EXPECT_EQ(sim.outLine(), "/tmp/tkr-sim-eof-test-link");
  sim.closeStdin();
  EXPECT_EQ(sim.exitStatus(), 0);
  EXPECT_FALSE(Exists("/tmp/tkr-sim-eof-test-link"));
}

TEST(SimProgram, BadOptionIsOneLineAndStatusTwo) {
  Program sim({"--frobnicate"});
  EXPECT_EQ(sim.exitStatus(), 2);
  const std::string err = sim.allStderr();
  EXPECT_NE(err.find("--frobnicate"), std::string::npos);
  EXPECT_EQ(err.find('\n'), err.size() - 1);
}

}  // namespace
}  // namespace tkr::sim
