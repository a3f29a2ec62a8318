#pragma once
// Main_form: the console's main window. It owns its controls and the shared Module1, and
// forwards every event to Module1's routines; it keeps no state of its own.
#include <QFont>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "core/link/edition.h"
#include "core/link/module1.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::console {

class Main_form : public QWidget {
  Q_OBJECT

 public:
  // Left, top, width and height in twips, relative to the container.
  struct Geo {
    int l, t, w, h;
  };

  // platform.forms is the window registry; a QtForms is wired to this window and its module.
  Main_form(Edition edition, link::Platform platform, QWidget* parent = nullptr);
  ~Main_form() override;

  link::Module1& module() { return *module_; }
  Edition edition() const { return edition_; }

  // Window load: binds the resize controls and hides what the operator must not use, then
  // runs the shared start-up sequence, which shows the window before detection.
  void Load();

  // Controls by name, for the programs' trace mode and the tests.
  QWidget* control(const char* name) const;
  // The operator's click on a button or check box by its control name; false when unknown.
  bool clickControl(const char* name);
  // Types text into txtSend and presses Enter.
  void typeCommand(const QString& text);
  // Chooses the txtSend row that carries the item code; false when none does.
  bool chooseCommand(int itemCode);

  QComboBox* txtSend() const { return txtSend_; }
  QWidget* statusBar() const { return statusBar_; }
  QGroupBox* frame(int number) const;  // Frame1..Frame5

  // Twips to pixels at this window's logical resolution.
  int px(int twips) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildFrames();
  void buildMonitor();
  void buildTracks();
  void buildToggles();
  void buildButtons();
  void buildSettings();
  void buildStatusBar();
  void wireEvents();
  void relayout();
  void sendTyped();

  // Event handlers of the window's own buttons.
  void ComPortButton_Click();
  void DefaultButton_Click();
  void PreSuffixCommand_Click();
  void RestartCommandButton_Click();
  void CardDataButton_Click();
  void ClearButton_Click();
  void AboutCommand_Click();
  void ExitButton_Click();

  // A named child control with the control font at its twips geometry.
  template <class W>
  W* make(QWidget* parent, const char* name, Geo g, const char* tip = nullptr);
  // Keeps an adapter for the widget alive as long as the window.
  template <class Adapter, class Widget>
  Adapter* adapt(Widget* widget);
  void place(QWidget* w, int l, int t, int width, int height) const;
  QFont controlFont() const;
  QFont fixedFont() const;

  Edition edition_;
  link::MainView view_;
  std::unique_ptr<link::Module1> module_;

  std::array<QGroupBox*, 5> frames_{};
  QComboBox* txtSend_ = nullptr;
  QPlainTextEdit* txtReceive_ = nullptr;
  QWidget* statusBar_ = nullptr;

  // The control adapters that Module1 reads and writes through view_.
  std::vector<std::unique_ptr<platform::Control>> controls_;
  std::vector<std::unique_ptr<platform::LogControl>> logs_;
  std::array<std::unique_ptr<platform::qt::Resizer>, 6> resizers_;
};

}  // namespace tkr::console
