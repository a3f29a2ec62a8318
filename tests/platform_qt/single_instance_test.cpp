#include "platform/qt/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace tkr::platform::qt
