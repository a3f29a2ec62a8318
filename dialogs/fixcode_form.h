#pragma once
// FixCode_Form, "Prefix/Suffix Code Setting (Hex code only)": the bytes the reader puts
// before and after each track and between tracks. Each of the seven groups is either
// "Default" or up to six two-digit hexadecimal codes (one for the separator).
#include <array>
#include <memory>
#include <vector>

#include "core/link/module1.h"
#include "dialogs/form_window.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tkr::platform::qt {
class Resizer;
}

namespace tkr::dialogs {

class FixCode_Form : public FormWindow {
  Q_OBJECT

 public:
  FixCode_Form(link::Module1& module, platform::Forms& forms, QWidget* owner);
  ~FixCode_Form() override;

  // The groups in the order of the form and of the frames sent on OK.
  enum Group { TK1pre, TK1suf, TK2pre, TK2suf, TK3pre, TK3suf, Separator, kGroups };

  std::array<QGroupBox*, kGroups> Frame{};  // Frame1..Frame7 at index 0..6
  QRadioButton* TK1preOption = nullptr;
  QRadioButton* TK1preOption1 = nullptr;
  QRadioButton* TK1sufOption = nullptr;
  QRadioButton* TK1sufOption1 = nullptr;
  QRadioButton* TK2preOption = nullptr;
  QRadioButton* TK2preOption1 = nullptr;
  QRadioButton* TK2sufOption = nullptr;
  QRadioButton* TK2sufOption1 = nullptr;
  QRadioButton* TK3preOption = nullptr;
  QRadioButton* TK3preOption1 = nullptr;
  QRadioButton* TK3sufOption = nullptr;
  QRadioButton* TK3sufOption1 = nullptr;
  QRadioButton* SeparatorOption = nullptr;
  QRadioButton* SeparatorOption1 = nullptr;
  // TKnpreText1..6 / TKnsufText1..6 at index 0..5.
  std::array<QLineEdit*, 6> TK1preText{};
  std::array<QLineEdit*, 6> TK1sufText{};
  std::array<QLineEdit*, 6> TK2preText{};
  std::array<QLineEdit*, 6> TK2sufText{};
  std::array<QLineEdit*, 6> TK3preText{};
  std::array<QLineEdit*, 6> TK3sufText{};
  QLineEdit* SeparatorText = nullptr;
  QPushButton* OKCmdBtn = nullptr;
  QPushButton* CancelCmdBtn = nullptr;

  // True while the group's "Default" option is the chosen one; index 0..2 for tracks 1..3.
  std::array<bool, 3> PrefixDefault{};
  std::array<bool, 3> SuffixDefault{};
  bool SeparatorDefault = false;

  QRadioButton* defaultOption(Group g) const;
  QRadioButton* codeOption(Group g) const;
  // The group's code boxes: six for a track group, one for the separator.
  std::vector<QLineEdit*> boxes(Group g) const;

  // What OK sends: each group's choice and the text of its boxes.
  link::CodeSettings codeSettings() const;

  void OKCmdBtn_Click();
  void CancelCmdBtn_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void Form_Load();
  void Form_Resize();
  bool flag(Group g) const;
  void setFlag(Group g, bool useDefault);

  std::array<std::unique_ptr<platform::qt::Resizer>, 8> THBResize;  // THBResize1..8
};

}  // namespace tkr::dialogs
