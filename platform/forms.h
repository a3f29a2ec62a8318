#pragma once
// Loading, showing and unloading the console's windows.
namespace tkr::platform {

enum class FormId { Main, Detecting, ComPort, CardType, FixCode, Info };

class Forms {
 public:
  virtual ~Forms() = default;
  // Loads the form if needed (running its load handler) and shows it modeless; an open
  // form is only brought forward.
  virtual void show(FormId form) = 0;
  // Loads the form without showing it (a no-op when it is loaded).
  virtual void load(FormId form) = 0;
  virtual void unload(FormId form) = 0;
  virtual bool loaded(FormId form) const = 0;
};

}  // namespace tkr::platform
