#pragma once
// CardType_Form, "Card Type and Protocol Setting": chooses the reader's data protocol.
#include <memory>

#include "dialogs/form_window.h"

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::dialogs {

class CardType_Form : public FormWindow {
  Q_OBJECT

 public:
  CardType_Form(link::Module1& module, platform::Forms& forms, QWidget* owner);
  ~CardType_Form() override;

  QGroupBox* Frame2 = nullptr;
  QRadioButton* ProtocolOption1 = nullptr;
  QRadioButton* ProtocolOption2 = nullptr;
  QRadioButton* ProtocolOption3 = nullptr;
  QPushButton* DoneButton = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* DefaultButton = nullptr;

  void DoneButton_Click();
  void CancelButton_Click();
  void DefaultButton_Click() {}

 private:
  void build();
  void Form_Load();
  void Form_Resize();

  std::unique_ptr<platform::qt::Resizer> THBResize1;
  std::unique_ptr<platform::qt::Resizer> THBResize2;
};

}  // namespace tkr::dialogs
