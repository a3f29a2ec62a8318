#include "console/main_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "console/main_form_layout.h"
#include "console/qt_forms.h"
#include "core/protocol/host_commands.h"
#include "platform/qt/byte_text.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/resizer.h"
#include "platform/qt/status_bar_panels.h"
#include "platform/qt/twips.h"

namespace tkr::console {

using link::MainView;
using link::Toggle;
using platform::Color;
using platform::FormId;
namespace pq = platform::qt;

namespace {

using namespace layout;

struct ButtonRow {
  const char* name;
  const char* caption;
  const char* tip;
  Geo g;
  Color back;
  void (Main_form::*click)();
  link::Control* MainView::*slot;  // the buttons Module1 enables, disables or hides
};

int Column(int captionLeft) {
  return captionLeft < 1812 ? 0 : captionLeft < 3936 ? 1 : 2;
}

QString Tip(const char* tip) {
  return tip ? QString::fromLatin1(tip) : QString();
}

}  // namespace

Main_form::Main_form(Edition edition, link::Platform platform, QWidget* parent)
    : QWidget(parent), edition_(edition) {
  setObjectName(QStringLiteral("Main_form"));
  setWindowTitle(QStringLiteral("TKR520 Demo Application"));
  setFont(QFont(QStringLiteral("Arial"), 9));
  const bool legacy = edition == Edition::Legacy;
  resize(pq::SizeFromTwips(legacy ? 7644 : 7650, legacy ? 5424 : 5415, this));

  buildFrames();
  buildMonitor();
  buildTracks();
  buildToggles();
  buildButtons();
  buildSettings();
  buildStatusBar();

  module_ = std::make_unique<link::Module1>(edition, platform, view_);
  if (auto* forms = dynamic_cast<QtForms*>(&platform.forms)) forms->attach(*module_, this);
  wireEvents();
}

Main_form::~Main_form() {
  // The dialogs are our children but talk to the module: they go while it still exists.
  for (QDialog* d : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) delete d;
}

int Main_form::px(int twips) const {
  return pq::TwipsX(twips, this);
}

void Main_form::place(QWidget* w, int l, int t, int width, int height) const {
  w->setGeometry(pq::FromTwips(l, t, width, height, this));
}

QFont Main_form::controlFont() const {
  QFont f(QStringLiteral("Arial"));
  f.setPointSizeF(edition_ == Edition::Legacy ? 7.8 : 7.5);
  return f;
}

QFont Main_form::fixedFont() const {
  // Terminal with the OEM character set does not exist here; the boxes map bytes to their
  // code page 437 glyphs, so any fixed-pitch font of the same size does.
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::TypeWriter);
  const bool legacy = edition_ == Edition::Legacy;
  f.setPointSizeF(legacy ? 7.2 : 6.0);
  f.setBold(!legacy);
  return f;
}

template <class Adapter, class Widget>
Adapter* Main_form::adapt(Widget* widget) {
  auto owned = std::make_unique<Adapter>(widget);
  Adapter* raw = owned.get();
  controls_.push_back(std::move(owned));
  return raw;
}

template <class W>
W* Main_form::make(QWidget* parent, const char* name, Geo g, const char* tip) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setFont(controlFont());
  if (tip) w->setToolTip(Tip(tip));
  place(w, g.l, g.t, g.w, g.h);
  return w;
}

void Main_form::buildFrames() {
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const FrameRow& row = kFrames[i];
    auto* frame = make<QGroupBox>(this, row.name, row.g);
    frame->setTitle(QString::fromLatin1(row.caption));
    frames_[i] = frame;
  }
}

void Main_form::buildMonitor() {
  QGroupBox* f = frames_[0];
  adapt<pq::QtLabelControl>(make<QLabel>(f, "Label1", {1320, 120, 1212, 252}))
      ->setCaption("Host Command");

  txtSend_ = make<QComboBox>(f, "txtSend", {156, 312, 3744, 288}, "Send Command");
  txtSend_->setEditable(true);
  // Enter sends the typed text; it never becomes a list row.
  txtSend_->setInsertPolicy(QComboBox::NoInsert);
  txtSend_->setMaxVisibleItems(16);
  for (const auto& row : protocol::HostCommandList()) {
    txtSend_->addItem(QString::fromLatin1(row.text.data(), static_cast<qsizetype>(row.text.size())),
                      row.itemCode);
  }
  txtSend_->setCurrentIndex(-1);
  txtSend_->setEditText(QString());
  auto* send = adapt<pq::QtCommandBoxControl>(txtSend_);
  send->setBackColor(kLightBlue);
  send->setForeColor(kBlue);
  view_.txtSend = send;

  adapt<pq::QtLabelControl>(make<QLabel>(f, "Label2", {1200, 600, 1452, 252}))
      ->setCaption("Data Transmission");

  txtReceive_ = make<QPlainTextEdit>(f, "txtReceive", {156, 792, 3744, 1176}, "Received Message");
  txtReceive_->setFont(fixedFont());
  txtReceive_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtReceive_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  QPalette pal = txtReceive_->palette();
  pal.setColor(QPalette::Base, pq::ToQColor(kLightBlue));
  pal.setColor(QPalette::Text, pq::ToQColor(platform::kRed));
  txtReceive_->setPalette(pal);
  auto log = std::make_unique<pq::QtLogControl>(txtReceive_);
  view_.txtReceive = log.get();
  logs_.push_back(std::move(log));
}

void Main_form::buildTracks() {
  QGroupBox* f = frames_[1];
  for (const TrackRow& row : kTracks) {
    auto* box = make<QCheckBox>(f, row.box, row.boxGeo, row.boxTip);
    box->setChecked(true);  // all three tracks selected at creation, before any handler
    auto* check = adapt<pq::QtCheckControl>(static_cast<QAbstractButton*>(box));
    check->setCaption(row.caption);
    check->setForeColor(kDarkGreen);
    view_.*row.boxSlot = check;

    auto* text = make<QPlainTextEdit>(f, row.text, row.textGeo, row.textTip);
    text->setFont(fixedFont());
    text->setReadOnly(true);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* textControl = adapt<pq::QtTextControl>(text);
    textControl->setBackColor(kLightYellow);
    textControl->setForeColor(kBlue);
    view_.*row.textSlot = textControl;
  }
}

void Main_form::buildToggles() {
  for (const ToggleRow& row : kToggles) {
    auto* button = make<QPushButton>(frames_[2], row.name, row.g, row.tip);
    auto* check = adapt<pq::QtCheckControl>(static_cast<QAbstractButton*>(button));
    check->setCaption(row.caption);
    check->setBackColor(platform::kLightGreen);
    check->setForeColor(kPurple);
    view_.*row.slot = check;
  }
}

void Main_form::buildButtons() {
  // clang-format off
  const ButtonRow rows[] = {
      {"ComPortButton", "COM Select", "Manual COM Port Selection", {96, 240, 972, 252}, kTeal,
       &Main_form::ComPortButton_Click, nullptr},
      {"DefaultButton", "Default", "MSR Default Setting", {1068, 240, 972, 252}, kTeal,
       &Main_form::DefaultButton_Click, &MainView::DefaultButton},
      {"PreSuffixCommand", "Prefix/Sufix", nullptr, {2040, 240, 1092, 252}, kTeal,
       &Main_form::PreSuffixCommand_Click, &MainView::PreSuffixCommand},
      {"RestartCommandButton", edition_ == Edition::Legacy ? "Auto COM" : "Auto Comm",
       "Auto COM Port Detection", {3132, 240, 1092, 252}, kTeal,
       &Main_form::RestartCommandButton_Click, nullptr},
      {"CardDataButton", "Protocol", "Card Type Setting", {3120, 480, 972, 252}, kTeal,
       &Main_form::CardDataButton_Click, &MainView::CardDataButton},
      {"ClearButton", "Clear", "Clear", {4224, 240, 972, 252}, kTeal, &Main_form::ClearButton_Click,
       nullptr},
      {"AboutCommand", "Demo AP Info.", "Information", {5196, 240, 1320, 252}, kPeach,
       &Main_form::AboutCommand_Click, nullptr},
      {"ExitButton", "Exit", "Exit", {6516, 240, 972, 252}, kPeach, &Main_form::ExitButton_Click,
       nullptr},
  };
  // clang-format on
  for (const ButtonRow& row : rows) {
    auto* button = make<QPushButton>(frames_[4], row.name, row.g, row.tip);
    auto* control = adapt<pq::QtButtonControl>(static_cast<QAbstractButton*>(button));
    control->setCaption(row.caption);
    control->setBackColor(row.back);
    if (row.slot) view_.*row.slot = control;
    connect(button, &QPushButton::clicked, this, row.click);
  }
}

void Main_form::buildSettings() {
  QGroupBox* f = frames_[3];
  for (const ValueRow& row : kValues) {
    const int col = Column(row.captionLeft);
    // The caption labels have no names of their own; they take their value label's.
    const QString captionName =
        QString::fromLatin1(row.name).replace(QStringLiteral("Label"), QStringLiteral("Caption"));
    auto* caption = make<QLabel>(f, captionName.toLatin1().constData(),
                                 {row.captionLeft, row.top, kCaptionWidth[col], kLabelHeight});
    auto* captionControl = adapt<pq::QtLabelControl>(caption);
    captionControl->setCaption(row.caption);
    captionControl->setForeColor(kPurple);

    auto* value = adapt<pq::QtLabelControl>(
        make<QLabel>(f, row.name, {row.valueLeft, row.top, kValueWidth[col], kLabelHeight}));
    value->setForeColor(kDarkGreen);
    view_.*row.slot = value;
  }
  auto* busy = adapt<pq::QtLabelControl>(make<QLabel>(f, "BusyLabel", {3948, 1128, 252, 132}));
  busy->setBackColor(platform::kGreen);
  view_.BusyLabel = busy;
  auto* busyText =
      adapt<pq::QtLabelControl>(make<QLabel>(f, "BusyTextLabel", {4236, 1080, 3264, 228}));
  busyText->setForeColor(platform::kRed);
  view_.BusyTextLabel = busyText;
}

void Main_form::buildStatusBar() {
  std::array<pq::StatusPanel, pq::StatusBarPanels::kPanels> panels;
  for (std::size_t i = 0; i < panels.size(); ++i) {
    panels[i] = {px(kPanels[i].width), Tip(kPanels[i].text), Tip(kPanels[i].text)};
  }
  auto* bar = new pq::StatusBarPanels(panels, this);
  bar->setObjectName(QStringLiteral("StatusBar1"));
  // The panels share less width than their stated sizes; the controls' smaller font keeps
  // the "Reader Response" caption whole.
  bar->setFont(controlFont());
  place(bar, kStatusBar.l, kStatusBar.t, kStatusBar.w, kStatusBar.h);
  for (int i = 0; i < pq::StatusBarPanels::kPanels; ++i) {
    bar->label(i)->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    view_.StatusPanels[static_cast<std::size_t>(i)] = &bar->panel(i);
  }
  statusBar_ = bar;
}

void Main_form::wireEvents() {
  for (const ToggleRow& row : kToggles) {
    (view_.*row.slot)->onClick = [this, t = row.toggle] { module_->ToggleClicked(t); };
  }
  for (int n = 1; n <= 3; ++n) {
    (view_.*kTracks[n - 1].boxSlot)->onClick = [this, n] { module_->TrackCheckBoxClicked(n); };
  }
  connect(txtSend_, &QComboBox::activated, this, [this](int index) {
    const QVariant code = txtSend_->itemData(index);
    module_->txtSend_Click(code.isValid() ? code.toInt() : -1);
  });
  // Enter must not reach the combo box: it would pick a row whose text matches.
  txtSend_->installEventFilter(this);
  if (QLineEdit* edit = txtSend_->lineEdit()) edit->installEventFilter(this);
}

bool Main_form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == txtSend_ || watched == txtSend_->lineEdit())) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      sendTyped();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Main_form::sendTyped() {
  // The box's own control turns the typed text into bytes, so Enter sends what its caption is.
  module_->SendTyped(view_.txtSend->caption());
}

void Main_form::Load() {
  // THBResize1..6 serve the window, Frame1, Frame3, Frame5, Frame4 and Frame2; they are
  // bound in the order 1, 2, 3, 5, 4, 6.
  QWidget* const containers[] = {this, frames_[0], frames_[2], frames_[4], frames_[3], frames_[1]};
  for (std::size_t i = 0; i < resizers_.size(); ++i) {
    resizers_[i] = std::make_unique<pq::Resizer>();
  }
  for (std::size_t i : {0u, 1u, 2u, 4u, 3u, 5u}) resizers_[i]->bind(containers[i]);
  resizers_[0]->onResized = [this] { relayout(); };

  link::HideUnusedControls(view_);
  // The legacy window loads the port dialog hidden (its load hides its own handshake box).
  if (edition_ == Edition::Legacy) module_->forms().load(FormId::ComPort);
  module_->Form_Load([this] { show(); });
}

void Main_form::relayout() {
  for (auto& resizer : resizers_) {
    if (resizer) resizer->apply();
  }
}

void Main_form::closeEvent(QCloseEvent* event) {
  module_->Form_Unload();  // ends the program
  event->accept();
}

void Main_form::ComPortButton_Click() {
  module_->forms().show(FormId::ComPort);
}
void Main_form::DefaultButton_Click() {
  module_->DefaultButton_Click();
}
void Main_form::PreSuffixCommand_Click() {
  module_->forms().show(FormId::FixCode);
}
void Main_form::RestartCommandButton_Click() {
  module_->RestartCommandButton_Click();
}
void Main_form::CardDataButton_Click() {
  module_->forms().show(FormId::CardType);
}
void Main_form::ClearButton_Click() {
  module_->ClearButton_Click();
}
void Main_form::AboutCommand_Click() {
  module_->forms().show(FormId::Info);
}
void Main_form::ExitButton_Click() {
  module_->ExitButton_Click();
}

QGroupBox* Main_form::frame(int number) const {
  return number >= 1 && number <= 5 ? frames_[static_cast<std::size_t>(number - 1)] : nullptr;
}

QWidget* Main_form::control(const char* name) const {
  return findChild<QWidget*>(QString::fromLatin1(name));
}

bool Main_form::clickControl(const char* name) {
  auto* button = qobject_cast<QAbstractButton*>(control(name));
  if (button == nullptr) return false;
  button->click();
  return true;
}

void Main_form::typeCommand(const QString& text) {
  txtSend_->setEditText(text);
  sendTyped();
}

bool Main_form::chooseCommand(int itemCode) {
  const int index = txtSend_->findData(itemCode);
  if (index < 0) return false;
  txtSend_->setCurrentIndex(index);
  emit txtSend_->activated(index);
  return true;
}

}  // namespace tkr::console
