#pragma once
// One running instance per program and user: a lock file in a folder of the user's own, so
// one user's console never keeps another user's from starting. A lock left by a process that
// died is taken over, so a crash never blocks the next start.
#include <QLockFile>
#include <QString>
#include <memory>

namespace tkr::platform::qt {

// $XDG_RUNTIME_DIR when it is a folder of this user's; otherwise <temp>/tkr520-<uid>, made
// with mode 0700 (a folder of that name that another user made is not used); otherwise
// ~/.cache. Empty when none of them can be had.
QString UserLockDirectory();

class SingleInstance {
 public:
  // "<programName>.lock" in UserLockDirectory(), or in the given directory.
  explicit SingleInstance(const QString& programName, const QString& directory = {});

  // True when this process now holds the lock (or already held it); false when another
  // running instance holds it. Never waits.
  bool tryAcquire();
  bool held() const { return held_; }
  // Gives the lock up and removes its file, as the program ends; the process may end with
  // _Exit, which runs no destructor.
  void release();
  QString lockPath() const { return path_; }

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool held_ = false;
};

}  // namespace tkr::platform::qt
