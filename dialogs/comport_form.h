#pragma once
// ComPort_form, "Manual COM Port Selection": the operator picks the reader's port by hand.
// Its choices go straight into Module1's port state; Done reconnects with them.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "dialogs/form_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::dialogs {

class ComPort_form : public FormWindow {
  Q_OBJECT

 public:
  ComPort_form(link::Module1& module, platform::Forms& forms, QWidget* owner);
  ~ComPort_form() override;

  // What COMn stands for on this machine, for the port list's tool tips. The program sets
  // it once at start-up; without it every entry reads "no device".
  using PortDescriber = std::function<std::string(int)>;
  static void setPortDescriber(PortDescriber describer);

  QGroupBox* Frame1 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QGroupBox* Frame3 = nullptr;
  QComboBox* ComPortComboBox = nullptr;
  QRadioButton* BaudRateOption1 = nullptr;
  QRadioButton* BaudRateOption2 = nullptr;
  QRadioButton* BaudRateOption3 = nullptr;
  QRadioButton* BaudRateOption4 = nullptr;
  QRadioButton* BaudRateOption5 = nullptr;
  QRadioButton* ParityOption1 = nullptr;
  QRadioButton* ParityOption2 = nullptr;
  QRadioButton* ParityOption3 = nullptr;
  QRadioButton* ParityOption4 = nullptr;
  QRadioButton* ParityOption5 = nullptr;
  QCheckBox* HWHSCheckBox = nullptr;
  QPushButton* DoneButton = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* DefaultButton = nullptr;

  void ComPortComboBox_Click(int index);
  void DoneButton_Click();
  void CancelButton_Click();
  void DefaultButton_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The devices behind the numbers may have changed since the dialog was loaded.
  void showEvent(QShowEvent* event) override;

 private:
  void build();
  void describePorts();
  void Form_Load();
  void Form_Resize();
  // Runs now, or once the exchange in progress has ended; the action outlives the dialog.
  void runWhenIdle(std::function<void()> action);

  std::array<QRadioButton*, 5> baudOptions() const;
  std::array<QRadioButton*, 5> parityOptions() const;

  std::unique_ptr<platform::qt::Resizer> THBResize1;
  std::unique_ptr<platform::qt::Resizer> THBResize2;
  std::unique_ptr<platform::qt::Resizer> THBResize3;
  std::unique_ptr<platform::qt::Resizer> THBResize4;
};

}  // namespace tkr::dialogs
