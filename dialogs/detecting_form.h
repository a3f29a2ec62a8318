#pragma once
// Detecting_form: the progress window of the automatic port search. The search itself lives
// in Module1; the window only lends it its labels and progress bar.
#include <memory>

#include "core/link/views.h"
#include "dialogs/form_window.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::dialogs {

class Detecting_form : public FormWindow {
  Q_OBJECT

 public:
  Detecting_form(link::Module1& module, platform::Forms& forms, QWidget* owner);
  ~Detecting_form() override;

  QLabel* StepLabel = nullptr;
  QLabel* COMLabel = nullptr;
  QLabel* DataLabel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* CancelCmdBtn = nullptr;

  void CancelCmdBtn_Click();
  // Esc on a progress window means Cancel.
  void reject() override { CancelCmdBtn_Click(); }

 protected:
  void onUnload() override;

 private:
  void build();
  void Form_Load();

  std::unique_ptr<platform::Control> stepControl_;
  std::unique_ptr<platform::Control> comControl_;
  std::unique_ptr<platform::Control> dataControl_;
  std::unique_ptr<platform::ProgressControl> progressControl_;
  link::DetectingView view_;
  std::unique_ptr<platform::qt::Resizer> THBResize1;
};

}  // namespace tkr::dialogs
