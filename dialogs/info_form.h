#pragma once
// Info_Form: the console's about box, its name, version and build date.
#include <memory>

#include "dialogs/form_window.h"

class QLabel;
class QPushButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::dialogs {

class Info_Form : public FormWindow {
  Q_OBJECT

 public:
  Info_Form(link::Module1& module, platform::Forms& forms, QWidget* owner);
  ~Info_Form() override;

  QLabel* Label2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label4 = nullptr;
  QPushButton* Command1 = nullptr;

  void Command1_Click();

 protected:
  void onUnload() override;

 private:
  void build();

  std::unique_ptr<platform::qt::Resizer> THBResize1;
};

}  // namespace tkr::dialogs
