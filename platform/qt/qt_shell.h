#pragma once
// Message boxes and the end of the program.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "platform/shell.h"

namespace tkr::platform::qt {

class QtShell : public Shell {
 public:
  using BoxHook = std::function<void(const std::string& text, const std::string& title, MsgIcon)>;
  using EndHook = std::function<void(int status)>;

  explicit QtShell(QWidget* owner = nullptr) : owner_(owner) {}

  // The window the boxes are modal over.
  void setOwner(QWidget* owner) { owner_ = owner; }

  // Shows a modal QMessageBox with an OK button (its own event loop keeps events flowing);
  // with a box hook set, calls the hook instead, so tests never wait for an operator.
  void messageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
  void setBoxHook(BoxHook hook) { boxHook_ = std::move(hook); }

  // Flushes stdout and stderr and ends the process with std::_Exit. The call comes from deep
  // inside nested event loops (a wait inside a timer inside a box); unwinding and running the
  // destructors of windows whose handlers are still on the stack is what must not happen.
  // An end hook, for tests, runs first and is expected to throw; if it returns, the process
  // ends all the same.
  [[noreturn]] void endProgram(int status) override;
  void setEndHook(EndHook hook) { endHook_ = std::move(hook); }

 private:
  QPointer<QWidget> owner_;
  BoxHook boxHook_;
  EndHook endHook_;
};

}  // namespace tkr::platform::qt
