#include "console/qt_forms.h"

#include "core/link/module1.h"
#include "dialogs/cardtype_form.h"
#include "dialogs/comport_form.h"
#include "dialogs/detecting_form.h"
#include "dialogs/fixcode_form.h"
#include "dialogs/form_window.h"
#include "dialogs/info_form.h"

namespace tkr::console {

using platform::FormId;

QtForms::~QtForms() {
  // The main window owns the dialogs as their parent; whatever is left goes with it.
  dialogs_.clear();
}

void QtForms::attach(link::Module1& module, QWidget* mainWindow) {
  module_ = &module;
  main_ = mainWindow;
}

dialogs::FormWindow* QtForms::dialog(FormId form) const {
  const auto it = dialogs_.find(form);
  return it == dialogs_.end() ? nullptr : it->second.data();
}

bool QtForms::loaded(FormId form) const {
  if (form == FormId::Main) return !main_.isNull();
  return dialog(form) != nullptr;
}

dialogs::FormWindow* QtForms::create(FormId form) {
  if (module_ == nullptr) return nullptr;
  link::Module1& m = *module_;
  switch (form) {
    case FormId::Detecting:
      return new dialogs::Detecting_form(m, *this, main_);
    case FormId::ComPort:
      return new dialogs::ComPort_form(m, *this, main_);
    case FormId::CardType:
      return new dialogs::CardType_Form(m, *this, main_);
    case FormId::FixCode:
      return new dialogs::FixCode_Form(m, *this, main_);
    case FormId::Info:
      return new dialogs::Info_Form(m, *this, main_);
    case FormId::Main:
      break;
  }
  return nullptr;
}

void QtForms::load(FormId form) {
  if (form == FormId::Main || loaded(form)) return;
  // Constructing a dialog runs its load handler.
  dialogs::FormWindow* d = create(form);
  if (d != nullptr) dialogs_[form] = d;
}

void QtForms::show(FormId form) {
  QWidget* w = nullptr;
  if (form == FormId::Main) {
    w = main_;
  } else {
    if (beforeShow) beforeShow(form);
    load(form);
    w = dialog(form);
  }
  if (w == nullptr) return;
  w->show();
  w->raise();
  w->activateWindow();
}

void QtForms::unload(FormId form) {
  if (form == FormId::Main) {
    // The main window's unload ends the program through its close handler.
    if (main_) main_->close();
    return;
  }
  const auto it = dialogs_.find(form);
  if (it == dialogs_.end()) return;
  QPointer<dialogs::FormWindow> d = it->second;
  // Out of the registry first: whatever the unload handler runs sees the form as gone and a
  // new showing gets a fresh instance.
  dialogs_.erase(it);
  if (d.isNull()) return;
  d->Form_Unload();
  if (d.isNull()) return;
  d->hide();
  d->deleteLater();
}

}  // namespace tkr::console
