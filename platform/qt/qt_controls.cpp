#include "platform/qt/qt_controls.h"

#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>

#include "platform/qt/byte_text.h"

namespace tkr::platform::qt {

namespace {
// Dynamic property of a monitor box: the view keeps the newest record in sight.
constexpr const char* kFollow = "tkrFollowEnd";
}  // namespace

namespace {

QString CssColor(Color color) {
  return ToQColor(color).name(QColor::HexRgb);
}

// The monitor's text as shown: CR is dropped (LF breaks the line), other non-printing bytes
// show as their glyphs.
QString LogDisplay(const std::string& text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    out += BytesToGlyphs(text.substr(start, i - start));
    if (text[i] == '\n') out.append(QLatin1Char('\n'));
    start = i + 1;
  }
  out += BytesToGlyphs(text.substr(start));
  return out;
}

}  // namespace

// ---- QtControlOf ----

template <class Base>
QtControlOf<Base>::QtControlOf(QWidget* widget) : widget_(widget) {
  const QPalette& palette = widget->palette();
  back_ = FromQColor(palette.color(widget->backgroundRole()));
  fore_ = FromQColor(palette.color(widget->foregroundRole()));
}

template <class Base>
Bytes QtControlOf<Base>::caption() const {
  if (!widget_) return bytes_;
  const QString now = text();
  return now == shown_ ? bytes_ : fromDisplay(now);
}

template <class Base>
void QtControlOf<Base>::setCaption(const Bytes& text) {
  bytes_ = text;
  if (!widget_) return;
  const QString display = toDisplay(text);
  setText(display);
  // A widget may refuse part of it (a maximum length, a missing list item); what it shows is
  // then the caption.
  shown_ = this->text();
  if (shown_ != display) bytes_ = fromDisplay(shown_);
}

template <class Base>
bool QtControlOf<Base>::enabled() const {
  return widget_ && !widget_->testAttribute(Qt::WA_ForceDisabled);
}

template <class Base>
void QtControlOf<Base>::setEnabled(bool enabled) {
  if (widget_) widget_->setEnabled(enabled);
}

template <class Base>
bool QtControlOf<Base>::visible() const {
  return widget_ &&
         !(widget_->isHidden() && widget_->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

template <class Base>
void QtControlOf<Base>::setVisible(bool visible) {
  if (widget_) widget_->setVisible(visible);
}

template <class Base>
void QtControlOf<Base>::setBackColor(Color color) {
  back_ = color;
  backSet_ = true;
  if (widget_) applyColors();
}

template <class Base>
void QtControlOf<Base>::setForeColor(Color color) {
  fore_ = color;
  foreSet_ = true;
  if (widget_) applyColors();
}

template <class Base>
void QtControlOf<Base>::applyColors() {
  QPalette palette = widget_->palette();
  if (backSet_) palette.setColor(widget_->backgroundRole(), ToQColor(back_));
  if (foreSet_) palette.setColor(widget_->foregroundRole(), ToQColor(fore_));
  widget_->setPalette(palette);
  if (backSet_) widget_->setAutoFillBackground(true);
}

template <class Base>
void QtControlOf<Base>::applyButtonStyleSheet() {
  QString rule = QStringLiteral("QPushButton {");
  if (backSet_) {
    rule += QStringLiteral(
                " background-color: %1; border: 1px solid #6d6d6d;"
                " border-radius: 2px; padding: 1px 4px;")
                .arg(CssColor(back_));
  }
  if (foreSet_) rule += QStringLiteral(" color: %1;").arg(CssColor(fore_));
  rule += QStringLiteral(" }");
  if (backSet_) {
    // A pressed or checked button-style check box must still look pressed.
    rule += QStringLiteral(
                " QPushButton:pressed, QPushButton:checked {"
                " background-color: %1; border-style: inset; border-color: #303030; }")
                .arg(ToQColor(back_).darker(125).name());
  }
  rule += QStringLiteral(" QPushButton:disabled { color: #808080; }");
  widget_->setStyleSheet(rule);
}

template class QtControlOf<Control>;
template class QtControlOf<CheckControl>;

// ---- QtLabelControl ----

QtLabelControl::QtLabelControl(QLabel* label, bool mnemonics)
    : QtControlOf<Control>(label), mnemonics_(mnemonics) {
  label->setTextFormat(Qt::PlainText);
}

QLabel* QtLabelControl::label() const {
  return static_cast<QLabel*>(widget_.data());
}
QString QtLabelControl::text() const {
  return label()->text();
}
void QtLabelControl::setText(const QString& text) {
  label()->setText(text);
}
QString QtLabelControl::toDisplay(const Bytes& bytes) const {
  return LabelDisplay(bytes, mnemonics_);
}
Bytes QtLabelControl::fromDisplay(const QString& text) const {
  return LabelCaption(text, mnemonics_);
}

// ---- QtButtonControl ----

QtButtonControl::QtButtonControl(QAbstractButton* button) : QtControlOf<Control>(button) {}

QString QtButtonControl::text() const {
  return static_cast<QAbstractButton*>(widget_.data())->text();
}
void QtButtonControl::setText(const QString& text) {
  static_cast<QAbstractButton*>(widget_.data())->setText(text);
}
QString QtButtonControl::toDisplay(const Bytes& bytes) const {
  return Latin1Text(bytes);
}
Bytes QtButtonControl::fromDisplay(const QString& text) const {
  return Latin1Bytes(text);
}

void QtButtonControl::applyColors() {
  if (qobject_cast<QPushButton*>(widget_)) {
    applyButtonStyleSheet();
  } else {
    QtControlOf<Control>::applyColors();
  }
}

// ---- QtCheckControl ----

QtCheckControl::QtCheckControl(QAbstractButton* button)
    : QtControlOf<CheckControl>(button), option_(qobject_cast<QRadioButton*>(button) != nullptr) {
  button->setCheckable(true);
  toggled_ = QObject::connect(button, &QAbstractButton::toggled, button, [this](bool checked) {
    if (option_ && !checked) return;  // the option that lost the selection reports nothing
    if (onClick) onClick();
  });
}

QtCheckControl::~QtCheckControl() {
  QObject::disconnect(toggled_);
}

QAbstractButton* QtCheckControl::button() const {
  return static_cast<QAbstractButton*>(widget_.data());
}

int QtCheckControl::value() const {
  return widget_ && button()->isChecked() ? 1 : 0;
}

void QtCheckControl::setValue(int value) {
  if (!widget_) return;
  const bool checked = value != 0;
  if (checked == button()->isChecked()) return;
  // An exclusive group refuses to clear its checked button; clearing an option by code is
  // allowed here, leaving no option of the group selected.
  const bool exclusive = button()->autoExclusive();
  if (!checked && exclusive) button()->setAutoExclusive(false);
  button()->setChecked(checked);
  if (!checked && exclusive) button()->setAutoExclusive(true);
}

QString QtCheckControl::text() const {
  return button()->text();
}
void QtCheckControl::setText(const QString& text) {
  button()->setText(text);
}
QString QtCheckControl::toDisplay(const Bytes& bytes) const {
  return Latin1Text(bytes);
}
Bytes QtCheckControl::fromDisplay(const QString& text) const {
  return Latin1Bytes(text);
}

void QtCheckControl::applyColors() {
  if (qobject_cast<QPushButton*>(widget_)) {
    applyButtonStyleSheet();
  } else {
    QtControlOf<CheckControl>::applyColors();
  }
}

// ---- QtTextControl ----

QtTextControl::QtTextControl(QLineEdit* edit) : QtControlOf<Control>(edit) {}

QtTextControl::QtTextControl(QPlainTextEdit* edit) : QtControlOf<Control>(edit) {}

QtTextControl::QtTextControl(QComboBox* combo) : QtControlOf<Control>(combo) {
  back_ = FromQColor(combo->palette().color(QPalette::Base));
  fore_ = FromQColor(combo->palette().color(QPalette::Text));
}

QString QtTextControl::text() const {
  if (auto* line = qobject_cast<QLineEdit*>(widget_)) return line->text();
  // toPlainText() would turn the no-break space (byte 0xFF) into a plain space.
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_)) return plain->document()->toRawText();
  if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentText();
  return {};
}

void QtTextControl::setText(const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(widget_)) {
    line->setText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_)) {
    plain->setPlainText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
    if (combo->isEditable()) {
      combo->setEditText(text);
    } else if (const int index = combo->findText(text, Qt::MatchExactly); index >= 0) {
      combo->setCurrentIndex(index);
    }
  }
}

QString QtTextControl::toDisplay(const Bytes& bytes) const {
  return BytesToGlyphs(bytes);
}
Bytes QtTextControl::fromDisplay(const QString& text) const {
  return GlyphsToBytes(text);
}

void QtTextControl::applyColors() {
  // Text boxes paint their text area in Base and Text, whatever their background role says.
  QPalette palette = widget_->palette();
  if (backSet_) palette.setColor(QPalette::Base, ToQColor(back_));
  if (foreSet_) palette.setColor(QPalette::Text, ToQColor(fore_));
  widget_->setPalette(palette);
}

QString QtCommandBoxControl::toDisplay(const Bytes& bytes) const {
  return Latin1Text(bytes);
}
Bytes QtCommandBoxControl::fromDisplay(const QString& text) const {
  return Latin1Bytes(text);
}

// ---- QtLogControl ----

QtLogControl::QtLogControl(QPlainTextEdit* edit) : edit_(edit) {
  edit->setReadOnly(true);
  edit->setUndoRedoEnabled(false);  // the monitor only grows; an undo stack would double it
  edit->clear();
  edit->setProperty(kFollow, true);
  // Only the operator's own scrolling decides whether the view keeps following the end; it is
  // judged once the scroll has taken effect.
  QScrollBar* bar = edit->verticalScrollBar();
  QObject::connect(bar, &QAbstractSlider::actionTriggered, edit, [edit, bar](int) {
    QTimer::singleShot(0, edit,
                       [edit, bar] { edit->setProperty(kFollow, bar->value() >= bar->maximum()); });
  });
}

void QtLogControl::append(const std::string& text) {
  text_ += text;
  if (!edit_ || text.empty()) return;
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(LogDisplay(text));
  // The monitor follows its newest record unless the operator has scrolled up to read.
  if (edit_->property(kFollow).toBool()) {
    edit_->moveCursor(QTextCursor::End);
    edit_->ensureCursorVisible();
  }
}

void QtLogControl::removeLeadingLines(std::size_t lines) {
  if (lines == 0) return;
  std::size_t pos = 0;
  std::size_t found = 0;
  while (found < lines) {
    pos = text_.find('\n', pos);
    if (pos == std::string::npos) break;
    ++pos;
    ++found;
  }
  if (found < lines) {
    clear();
    return;
  }
  text_.erase(0, pos);
  if (!edit_) return;
  // Each LF began a new block, so the first `lines` blocks are exactly the text removed.
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(lines));
  cursor.removeSelectedText();
}

void QtLogControl::clear() {
  text_.clear();
  if (!edit_) return;
  edit_->clear();
  edit_->setProperty(kFollow, true);
}

// ---- QtProgressControl ----

void QtProgressControl::setMin(int v) {
  if (bar_) bar_->setMinimum(v);
}
void QtProgressControl::setMax(int v) {
  if (bar_) bar_->setMaximum(v);
}
void QtProgressControl::setValue(int v) {
  if (bar_) bar_->setValue(std::clamp(v, bar_->minimum(), bar_->maximum()));
}
int QtProgressControl::min() const {
  return bar_ ? bar_->minimum() : 0;
}
int QtProgressControl::max() const {
  return bar_ ? bar_->maximum() : 0;
}
int QtProgressControl::value() const {
  return bar_ ? bar_->value() : 0;
}

}  // namespace tkr::platform::qt
