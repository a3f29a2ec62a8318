#pragma once
// One running instance per program: a lock file in the temporary directory. A lock left by a
// process that died is taken over, so a crash never blocks the next start.
#include <QLockFile>
#include <QString>
#include <memory>

namespace tkr::platform::qt {

class SingleInstance {
 public:
  // "<programName>.lock" in QDir::tempPath(), or in the given directory.
  explicit SingleInstance(const QString& programName, const QString& directory = {});

  // True when this process now holds the lock (or already held it); false when another
  // running instance holds it. Never waits.
  bool tryAcquire();
  bool held() const { return held_; }
  QString lockPath() const { return path_; }

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool held_ = false;
};

}  // namespace tkr::platform::qt
