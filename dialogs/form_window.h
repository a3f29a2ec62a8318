#pragma once
// Base of the console's dialogs: one instance at a time, owned by the window registry,
// which runs Form_Unload when it unloads the dialog (by its own buttons, its close box or the
// program).
#include <QDialog>

#include "core/link/module1.h"
#include "platform/forms.h"

class QCloseEvent;
class QEvent;

namespace tkr::dialogs {

class FormWindow : public QDialog {
  Q_OBJECT

 public:
  FormWindow(link::Module1& module, platform::Forms& forms, platform::FormId id, QWidget* owner);
  platform::FormId id() const { return id_; }
  // Runs once when the registry unloads the dialog, before it is hidden and deleted.
  void Form_Unload();
  bool unloading() const { return unloading_; }

 public slots:
  // Esc lands here: it must close through the registry like every other way out.
  void reject() override;

 protected:
  // What the dialog itself does when it is unloaded.
  virtual void onUnload() {}
  // Closing the dialog in any way goes through the registry, so it stays the only owner.
  void closeForm();
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The legacy console's dialogs vanish as soon as the operator works elsewhere.
  void setCloseOnDeactivate(bool on) { closeOnDeactivate_ = on; }

  link::Module1& module_;
  platform::Forms& forms_;
  platform::FormId id_;

 private:
  void closeIfStillInactive();

  bool unloading_ = false;
  bool closeOnDeactivate_ = false;
  bool deactivationPosted_ = false;
};

}  // namespace tkr::dialogs
