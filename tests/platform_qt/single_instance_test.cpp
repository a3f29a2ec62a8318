#include "platform/qt/single_instance.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

namespace tkr::platform::qt {
namespace {

TEST(SingleInstance, SecondInstanceIsRefusedButALockLeftByADeadProcessIsTakenOver) {
  QTemporaryDir dir;
  {
    SingleInstance first("SWPDEMO2", dir.path());
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_TRUE(first.tryAcquire());  // asking again keeps it
    EXPECT_FALSE(SingleInstance("SWPDEMO2", dir.path()).tryAcquire());
    EXPECT_TRUE(SingleInstance("SWPDEMO1", dir.path()).tryAcquire());  // each program on its own
    ASSERT_EQ(first.lockPath(), dir.filePath("SWPDEMO2.lock"));  // the file faked below
  }
  // A real lock file, rewritten as a process that has died would have left it.
  const QString path = dir.filePath("SWPDEMO2.lock");
  QByteArray content;
  {
    QLockFile lock(path);
    ASSERT_TRUE(lock.tryLock(0));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    content = file.readAll();
  }
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const auto firstLine = content.indexOf('\n');
  ASSERT_GT(firstLine, 0);
  content.replace(0, firstLine, QByteArray::number(child));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
  EXPECT_TRUE(SingleInstance("SWPDEMO2", dir.path()).tryAcquire());
}

// Whether a console of user `uid` would start, asked in a child that runs as that user.
bool StartsAs(uid_t uid, gid_t gid, const char* runtimeDir) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
    if (runtimeDir) setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    _exit(SingleInstance("SWPDEMO2").tryAcquire() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 2) << "child could not become the user";
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
  EXPECT_EQ(mine.lockPath(), shared.filePath("tkr520-0/SWPDEMO2.lock"));
  struct stat st {};
  ASSERT_EQ(stat(shared.filePath("tkr520-0").toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  const QByteArray runtimePath = runtime.path().toLocal8Bit();
  struct Row {
    const char* name;
    uid_t uid;
    gid_t gid;
    const char* runtimeDir;
    bool starts;
  };
  const Row rows[] = {
      {"same user again", 0, 0, nullptr, false},
      {"another user, no runtime folder", nobody->pw_uid, nobody->pw_gid, nullptr, true},
      // Someone else's folder is not taken as a runtime folder: the fallback is used.
      {"another user pointed at root's folder", nobody->pw_uid, nobody->pw_gid,
       runtimePath.constData(), true},
      {"same user in its runtime folder", 0, 0, runtimePath.constData(), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(StartsAs(row.uid, row.gid, row.runtimeDir), row.starts);
  }
  qputenv("TMPDIR", oldTmp);
  if (oldRuntime.isEmpty()) qunsetenv("XDG_RUNTIME_DIR");
  else qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

}  // namespace
}  // namespace tkr::platform::qt
