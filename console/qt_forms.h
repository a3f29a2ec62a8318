#pragma once
// The window registry: one instance of each dialog at a time, loaded on first showing and
// deleted when unloaded, the way the console's forms live and die.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>

#include "platform/forms.h"

namespace tkr::link {
class Module1;
}
namespace tkr::dialogs {
class FormWindow;
}

namespace tkr::console {

class QtForms : public platform::Forms {
 public:
  QtForms() = default;
  ~QtForms() override;
  QtForms(const QtForms&) = delete;
  QtForms& operator=(const QtForms&) = delete;

  // The dialogs need the shared module and are owned by the main window; the main window
  // hands both over before its load runs.
  void attach(link::Module1& module, QWidget* mainWindow);

  void show(platform::FormId form) override;
  void load(platform::FormId form) override;
  void unload(platform::FormId form) override;
  bool loaded(platform::FormId form) const override;

  // The loaded dialog, or nullptr (also for FormId::Main).
  dialogs::FormWindow* dialog(platform::FormId form) const;

  // Runs each time a dialog is about to be shown, before it is loaded if it is not.
  std::function<void(platform::FormId)> beforeShow;

 private:
  dialogs::FormWindow* create(platform::FormId form);

  link::Module1* module_ = nullptr;
  QPointer<QWidget> main_;
  std::map<platform::FormId, QPointer<dialogs::FormWindow>> dialogs_;
};

}  // namespace tkr::console
