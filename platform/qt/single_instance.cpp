#include "platform/qt/single_instance.h"

#include <QDir>

namespace tkr::platform::qt {

SingleInstance::SingleInstance(const QString& programName, const QString& directory)
    : path_(QDir(directory.isEmpty() ? QDir::tempPath() : directory)
                .filePath(programName + QStringLiteral(".lock"))),
      lock_(std::make_unique<QLockFile>(path_)) {
  // Age alone never makes the lock stale (the console runs for days); only a dead owner does,
  // which QLockFile checks by the process id recorded in the file.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::tryAcquire() {
  if (!held_) held_ = lock_->tryLock(0);
  return held_;
}

}  // namespace tkr::platform::qt
