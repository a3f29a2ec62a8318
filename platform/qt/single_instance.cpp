#include "platform/qt/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

namespace tkr::platform::qt {

namespace {

// A folder only this user can write, so nobody else can take or fake the lock inside it.
bool OwnPrivateFolder(const QByteArray& path) {
  struct stat st {};
  return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

QString UserLockDirectory() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && OwnPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
  const QByteArray mine =
      QDir(QDir::tempPath()).filePath(QStringLiteral("tkr520-%1").arg(::geteuid())).toLocal8Bit();
  ::mkdir(mine.constData(), 0700);  // fails harmlessly when it exists; checked next
  if (OwnPrivateFolder(mine)) return QString::fromLocal8Bit(mine);
  QString cache = QDir::home().filePath(QStringLiteral(".cache"));
  if (QDir().mkpath(cache) && OwnPrivateFolder(cache.toLocal8Bit())) return cache;
  return {};
}

SingleInstance::SingleInstance(const QString& programName, const QString& directory) {
  const QString folder = directory.isEmpty() ? UserLockDirectory() : directory;
  if (folder.isEmpty()) return;  // nowhere to lock: this user's start is not refused
  path_ = QDir(folder).filePath(programName + QStringLiteral(".lock"));
  lock_ = std::make_unique<QLockFile>(path_);
  // Age alone never makes the lock stale (the console runs for days); only a dead owner does,
  // which QLockFile checks by the process id recorded in the file.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::tryAcquire() {
  if (!held_) held_ = !lock_ || lock_->tryLock(0);
  return held_;
}

void SingleInstance::release() {
  if (held_ && lock_) lock_->unlock();
  held_ = false;
}

}  // namespace tkr::platform::qt
