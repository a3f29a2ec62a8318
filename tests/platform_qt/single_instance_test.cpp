#include "platform/qt/single_instance.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <functional>

namespace tkr::platform::qt {
namespace {

// Runs `start` in a child, which may first become another user, and gives its exit status.
int InChild(const std::function<bool()>& start, const passwd* user = nullptr) {
  const pid_t child = fork();
  if (child == 0) {
    if (user && (setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) _exit(2);
    _exit(start() ? 0 : 1);  // nothing is torn down
  }
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A console that died holding its lock does not keep the next one from starting.
TEST(SingleInstance, OnePerProgramButALockLeftByADeadProcessIsTakenOver) {
  QTemporaryDir dir;
  // The child's lock is never released: it ends as a crashed console would.
  ASSERT_EQ(InChild([&] { return (new SingleInstance("SWPDEMO2", dir.path()))->tryAcquire(); }), 0);
  SingleInstance first("SWPDEMO2", dir.path());
  EXPECT_TRUE(first.tryAcquire());
  EXPECT_FALSE(SingleInstance("SWPDEMO2", dir.path()).tryAcquire());
  EXPECT_TRUE(SingleInstance("SWPDEMO1", dir.path()).tryAcquire());  // each program on its own
}

// One user's console no longer stops another's: the lock lives in the user's runtime folder,
// or else in a 0700 folder of the user's own under the temporary folder.
TEST(SingleInstance, OneConsolePerUserNotPerMachine) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root and a second user";
  QTemporaryDir shared;  // stands in for /tmp: everyone may write, the sticky bit keeps files
  ASSERT_EQ(chmod(shared.path().toLocal8Bit().constData(), 01777), 0);
  QTemporaryDir runtime;
  const QByteArray oldTmp = qgetenv("TMPDIR"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("TMPDIR", shared.path().toLocal8Bit());
  qunsetenv("XDG_RUNTIME_DIR");

  SingleInstance mine("SWPDEMO2");
  ASSERT_TRUE(mine.tryAcquire());
  struct stat st {};
  ASSERT_EQ(stat(shared.filePath("tkr520-0").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  // The exit status of a child asking for the lock: 0 when the console would start.
  const auto starts = [](const passwd* user) {
    return InChild([] { return SingleInstance("SWPDEMO2").tryAcquire(); }, user);
  };
  EXPECT_EQ(starts(nullptr), 1);  // the same user again
  EXPECT_EQ(starts(nobody), 0);   // another user
  // Someone else's folder is not taken as a runtime folder: the fallback is used.
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  EXPECT_EQ(starts(nobody), 0);
  qputenv("TMPDIR", oldTmp);
  if (oldRuntime.isEmpty())
    qunsetenv("XDG_RUNTIME_DIR");
  else
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

}  // namespace
}  // namespace tkr::platform::qt
