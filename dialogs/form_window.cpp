#include "dialogs/form_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace tkr::dialogs {

FormWindow::FormWindow(link::Module1& module, platform::Forms& forms, platform::FormId id,
                       QWidget* owner)
    : QDialog(owner), module_(module), forms_(forms), id_(id) {
  // Dialogs never block the main window: the operator keeps working beside them.
  setModal(false);
  setCloseOnDeactivate(module.legacy());
}

void FormWindow::Form_Unload() {
  if (unloading_) return;
  unloading_ = true;
  onUnload();
}

void FormWindow::reject() {
  closeForm();
}

void FormWindow::closeForm() {
  if (unloading_) return;
  forms_.unload(id_);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The registry hides the window itself once it has run the unload; a close box click
  // before that is only a request to the registry.
  if (unloading_) {
    event->accept();
    return;
  }
  event->ignore();
  closeForm();
}

void FormWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !closeOnDeactivate_) return;
  if (isActiveWindow() || !isVisible() || unloading_ || deactivationPosted_) return;
  // Decided from the event loop, not from inside Qt's activation bookkeeping, and only once
  // the new active window is known.
  deactivationPosted_ = true;
  QTimer::singleShot(0, this, [this] { closeIfStillInactive(); });
}

void FormWindow::closeIfStillInactive() {
  deactivationPosted_ = false;
  if (unloading_ || !isVisible() || isActiveWindow()) return;
  // A drop-down list of our own or a message box over the console is not the operator
  // turning to another window.
  if (QApplication::activePopupWidget() != nullptr || QApplication::activeModalWidget() != nullptr)
    return;
  closeForm();
}

}  // namespace tkr::dialogs
