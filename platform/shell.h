#pragma once
// Message boxes and ending the program.
#include <string>

namespace tkr::platform {

enum class MsgIcon { Critical, Information };

class Shell {
 public:
  virtual ~Shell() = default;
  // Shows a modal message box with an OK button and returns when it is dismissed; events
  // keep flowing while it is open.
  virtual void messageBox(const std::string& text, const std::string& title, MsgIcon icon) = 0;
  // Ends the program at once; nothing after the call runs.
  [[noreturn]] virtual void endProgram(int status) = 0;
};

}  // namespace tkr::platform
