#pragma once
// The console's controls over Qt widgets. The adapters do not own their widgets; they must not
// outlive them. Captions go through the adapters so the byte form survives the round trip.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QString>
#include <string>

#include "platform/controls.h"

namespace tkr::platform::qt {

// Caption, enabled, visible and colours of one widget. Enabled and visible are the control's
// own settings, as the routines expect of a control: a child of a hidden window still reads
// visible.
template <class Base>
class QtControlOf : public Base {
 public:
  Bytes caption() const override;
  void setCaption(const Bytes& text) override;
  bool enabled() const override;
  void setEnabled(bool enabled) override;
  bool visible() const override;
  void setVisible(bool visible) override;
  Color backColor() const override { return back_; }
  void setBackColor(Color color) override;
  Color foreColor() const { return fore_; }
  void setForeColor(Color color);

  QWidget* widget() const { return widget_; }

 protected:
  explicit QtControlOf(QWidget* widget);

  virtual QString text() const = 0;
  virtual void setText(const QString& text) = 0;
  virtual QString toDisplay(const Bytes& bytes) const = 0;
  virtual Bytes fromDisplay(const QString& text) const = 0;
  // Default: the widget's palette (background and foreground roles) with auto-fill.
  virtual void applyColors();
  // Push buttons ignore palette colours under several native styles: a style sheet it is.
  void applyButtonStyleSheet();

  QPointer<QWidget> widget_;
  Color back_ = 0;
  Color fore_ = 0;
  bool backSet_ = false;
  bool foreSet_ = false;

 private:
  Bytes bytes_;    // last caption set through the adapter
  QString shown_;  // and how it was shown; anything else on screen was typed or set directly
};

extern template class QtControlOf<Control>;
extern template class QtControlOf<CheckControl>;

// A label: "&&" shows as "&", line breaks break, other bytes through their CP437 glyphs.
class QtLabelControl : public QtControlOf<Control> {
 public:
  // mnemonics = false shows every "&" as it is (status bar panels).
  explicit QtLabelControl(QLabel* label, bool mnemonics = true);

 protected:
  QString text() const override;
  void setText(const QString& text) override;
  QString toDisplay(const Bytes& bytes) const override;
  Bytes fromDisplay(const QString& text) const override;

 private:
  QLabel* label() const;
  bool mnemonics_;
};

// A command button: the caption goes to the button as it is (Qt shows "&&" as "&").
class QtButtonControl : public QtControlOf<Control> {
 public:
  explicit QtButtonControl(QAbstractButton* button);

 protected:
  QString text() const override;
  void setText(const QString& text) override;
  QString toDisplay(const Bytes& bytes) const override;
  Bytes fromDisplay(const QString& text) const override;
  void applyColors() override;
};

// A check box (QCheckBox or a checkable QPushButton) or an option button (QRadioButton).
// onClick runs once for each change of value, whether by code or by the operator; for an
// option button only when it becomes selected, as option buttons report their clicks.
class QtCheckControl : public QtControlOf<CheckControl> {
 public:
  explicit QtCheckControl(QAbstractButton* button);
  ~QtCheckControl() override;
  QtCheckControl(const QtCheckControl&) = delete;
  QtCheckControl& operator=(const QtCheckControl&) = delete;

  int value() const override;
  void setValue(int value) override;

 protected:
  QString text() const override;
  void setText(const QString& text) override;
  QString toDisplay(const Bytes& bytes) const override;
  Bytes fromDisplay(const QString& text) const override;
  void applyColors() override;

 private:
  QAbstractButton* button() const;
  bool option_;
  QMetaObject::Connection toggled_;
};

// A text box or the edit text of a combo box. Each byte shows as its CP437 glyph (0x00 to 0x1F
// and 0x7F to 0xFF included, none dropped); caption() gives back the bytes last set, or the
// operator's text mapped back to bytes after an edit.
class QtTextControl : public QtControlOf<Control> {
 public:
  explicit QtTextControl(QLineEdit* edit);
  explicit QtTextControl(QPlainTextEdit* edit);
  // An editable combo box sets its edit text; a drop-down list selects the item with the text.
  explicit QtTextControl(QComboBox* combo);

 protected:
  QString text() const override;
  void setText(const QString& text) override;
  QString toDisplay(const Bytes& bytes) const override;
  Bytes fromDisplay(const QString& text) const override;
  void applyColors() override;
};

// The command box: what the operator types goes to the reader one byte per character, by the
// character's Latin-1 value (so a typed "é" is 0xE9); a character beyond Latin-1 is '?'.
class QtCommandBoxControl : public QtTextControl {
 public:
  explicit QtCommandBoxControl(QComboBox* combo) : QtTextControl(combo) {}

 protected:
  QString toDisplay(const Bytes& bytes) const override;
  Bytes fromDisplay(const QString& text) const override;
};

// The read-only monitor. The core writes "\r\n" line ends; they show as line breaks, and
// text() gives the core's form back exactly. Appends cost time in proportion to the new text,
// and a view scrolled to the end stays at the end. All changes must go through the adapter.
class QtLogControl : public LogControl {
 public:
  explicit QtLogControl(QPlainTextEdit* edit);

  void append(const std::string& text) override;
  void removeLeadingLines(std::size_t lines) override;
  void clear() override;
  std::string text() const override { return text_; }

  QPlainTextEdit* widget() const { return edit_; }

 private:
  QPointer<QPlainTextEdit> edit_;
  std::string text_;
};

// Values outside the range are clamped into it (QProgressBar would ignore them).
class QtProgressControl : public ProgressControl {
 public:
  explicit QtProgressControl(QProgressBar* bar) : bar_(bar) {}

  void setMin(int v) override;
  void setMax(int v) override;
  void setValue(int v) override;
  int min() const override;
  int max() const override;
  int value() const override;

 private:
  QPointer<QProgressBar> bar_;
};

}  // namespace tkr::platform::qt
