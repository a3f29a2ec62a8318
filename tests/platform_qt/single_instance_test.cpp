#include "platform/qt/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

namespace tkr::platform::qt {
namespace {

TEST(SingleInstance, SecondInstanceOfTheSameProgramIsRefused) {
  QTemporaryDir dir;
  SingleInstance first("SWPDEMO2", dir.path());
  SingleInstance second("SWPDEMO2", dir.path());
  SingleInstance other("SWPDEMO1", dir.path());
  EXPECT_TRUE(first.tryAcquire());
  EXPECT_TRUE(first.tryAcquire());  // asking again keeps it
  EXPECT_FALSE(second.tryAcquire());
  EXPECT_TRUE(other.tryAcquire());  // each program on its own
  EXPECT_EQ(first.lockPath(), dir.filePath("SWPDEMO2.lock"));
}

TEST(SingleInstance, LockOfADeadProcessIsTakenOver) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SWPDEMO2.lock");
  // A real lock file, then the same file as a process that has died would have left it.
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
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

  SingleInstance next("SWPDEMO2", dir.path());
  EXPECT_TRUE(next.tryAcquire());
}

}  // namespace
}  // namespace tkr::platform::qt
