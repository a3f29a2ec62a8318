#include "console/main_form.h"

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
#include <QCheckBox>

#include "console/qt_forms.h"
#include "core/protocol/host_commands.h"
#include "dialogs/comport_form.h"
#include "platform/qt/byte_text.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/resizer.h"
#include "platform/qt/twips.h"

namespace tkr::console {

using link::MainView;
using link::Toggle;
using platform::Color;
using platform::FormId;
namespace pq = platform::qt;

namespace {

// Geometry in twips, relative to the container.
struct Geo {
  int l, t, w, h;
};

constexpr Color kPurple = 0x800080;
constexpr Color kDarkGreen = 0x008000;
constexpr Color kBlue = 0xFF0000;
constexpr Color kLightBlue = 0xFFC0C0;
constexpr Color kLightYellow = 0xC0FFFF;
constexpr Color kTeal = 0xC0C000;
constexpr Color kPeach = 0x80C0FF;

struct FrameRow {
  const char* name;
  const char* caption;
  Geo g;
};
// Indexed by frame number - 1.
constexpr FrameRow kFrames[] = {
    {"Frame1", "Monitor", {24, -24, 4056, 2172}},
    {"Frame2", "Tracks Data", {4140, -24, 3492, 2784}},
    {"Frame3", "Configuration Enable/Disable", {24, 2148, 4056, 612}},
    {"Frame4", "Current Settings", {24, 3408, 7620, 1692}},
    {"Frame5", "Configuration Settings and Functions", {24, 2760, 7608, 612}},
};

struct ToggleRow {
  const char* name;
  const char* caption;
  const char* tip;
  Geo g;
  Toggle toggle;
  link::CheckControl* MainView::*slot;
};
// The row of five at top 240; RTS and CTS on a second row, hidden at load.
constexpr ToggleRow kToggles[] = {
    {"BuzzerCheckBox", "Buzzer", "Buzzer Enable/Disable", {120, 240, 732, 252}, Toggle::Buzzer,
     &MainView::BuzzerCheckBox},
    {"SSESCheckBox", "SS/ES", "SS/ES Enable/Disable", {852, 240, 732, 252}, Toggle::SSES,
     &MainView::SSESCheckBox},
    {"SelfArmCheckBox", "Self-Arm", "Self-Arm Mode Enable/Disable", {1584, 240, 1020, 252},
     Toggle::SelfArm, &MainView::SelfArmCheckBox},
    {"LRCCheckBox", "LRC", "LRC Enable/Disable", {2604, 240, 696, 252}, Toggle::LRC,
     &MainView::LRCCheckBox},
    {"JISCheckBox", "JIS", nullptr, {3300, 240, 636, 252}, Toggle::JIS, &MainView::JISCheckBox},
    {"RTSCheckBox", "RTS", "RTS Enable/Disable", {2520, 480, 504, 252}, Toggle::RTS,
     &MainView::RTSCheckBox},
    {"CTSCheckBox", "CTS", "CTS Enable/Disable", {3024, 480, 504, 252}, Toggle::CTS,
     &MainView::CTSCheckBox},
};

struct TrackRow {
  const char* box;
  const char* caption;
  const char* boxTip;
  Geo boxGeo;
  const char* text;
  const char* textTip;
  Geo textGeo;
  link::CheckControl* MainView::*boxSlot;
  link::Control* MainView::*textSlot;
};
constexpr TrackRow kTracks[] = {
    {"TK1CheckBox", "TK1", "Send Track1 data or not", {120, 168, 852, 204}, "Track1TextBox",
     "Track 1 Data", {120, 384, 3252, 588}, &MainView::TK1CheckBox, &MainView::Track1TextBox},
    {"TK2CheckBox", "TK2", "Send Track2 data or not", {120, 996, 852, 180}, "Track2TextBox",
     "Track 2 Data", {120, 1200, 3252, 612}, &MainView::TK2CheckBox, &MainView::Track2TextBox},
    {"TK3CheckBox", "TK3", "Send Track3 data or not", {120, 1836, 852, 180}, "Track3TextBox",
     "Track 3 Data", {132, 2040, 3240, 612}, &MainView::TK3CheckBox, &MainView::Track3TextBox},
};

struct ButtonRow {
  const char* name;
  const char* caption;
  const char* tip;
  Geo g;
  Color back;
  void (Main_form::*click)();
  link::Control* MainView::*slot;  // the buttons Module1 enables, disables or hides
};

struct ValueRow {
  const char* caption;
  const char* name;
  int captionLeft, valueLeft, top;
  link::Control* MainView::*slot;
};
constexpr int kCaptionWidth[] = {840, 1080, 840};
constexpr int kValueWidth[] = {780, 960, 2700};
constexpr int kRowTops[] = {240, 516, 792, 1068, 1344};
constexpr int kLabelHeight = 228;
constexpr ValueRow kValues[] = {
    {"COM Port", "COMPortLabel", 120, 1008, kRowTops[0], &MainView::COMPortLabel},
    {"Baud Rate", "BaudRateLabel", 120, 1008, kRowTops[1], &MainView::BaudRateLabel},
    {"Bit && Parity", "ParityLabel", 120, 1008, kRowTops[2], &MainView::ParityLabel},
    {"RTS", "RTSLabel", 120, 1008, kRowTops[3], &MainView::RTSLabel},
    {"CTS", "CTSLabel", 120, 1008, kRowTops[4], &MainView::CTSLabel},
    {"Self-Arm Mode", "SelfArmLabel", 1812, 2940, kRowTops[0], &MainView::SelfArmLabel},
    {"LRC", "LRCLabel", 1812, 2940, kRowTops[1], &MainView::LRCLabel},
    {"SS && ES", "SSESLabel", 1812, 2940, kRowTops[2], &MainView::SSESLabel},
    {"Protocol", "ProtocolLabel", 1812, 2940, kRowTops[3], &MainView::ProtocolLabel},
    {"JIS Read Head", "JISLabel", 1812, 2940, kRowTops[4], &MainView::JISLabel},
    {"Buzzer", "BuzzerLabel", 3936, 4812, kRowTops[0], &MainView::BuzzerLabel},
    {"Card Type", "CardTypeLabel", 3936, 4812, kRowTops[1], &MainView::CardTypeLabel},
    {"F/W Ver.", "FWLabel", 3936, 4812, kRowTops[2], &MainView::FWLabel},
};

struct PanelRow {
  int width;
  const char* text;  // also the tool tip
};
constexpr PanelRow kPanels[] = {
    {2469, "Host Command"}, {4233, nullptr}, {2469, "Reader Response"}, {4233, nullptr}};
constexpr Geo kStatusBar{0, 5196, 7644, 228};

int Column(int captionLeft) { return captionLeft < 1812 ? 0 : captionLeft < 3936 ? 1 : 2; }

QString Tip(const char* tip) { return tip ? QString::fromLatin1(tip) : QString(); }

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

int Main_form::px(int twips) const { return pq::TwipsX(twips, this); }

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
W* Main_form::make(QWidget* parent, const char* name, Geo4 g, const char* tip) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setFont(controlFont());
  if (tip) w->setToolTip(Tip(tip));
  place(w, g[0], g[1], g[2], g[3]);
  return w;
}

void Main_form::buildFrames() {
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const FrameRow& row = kFrames[i];
    auto* frame = make<QGroupBox>(this, row.name, {row.g.l, row.g.t, row.g.w, row.g.h});
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
  auto* send = adapt<pq::QtTextControl>(txtSend_);
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
    auto* box = make<QCheckBox>(f, row.box, {row.boxGeo.l, row.boxGeo.t, row.boxGeo.w,
                                             row.boxGeo.h}, row.boxTip);
    box->setChecked(true);  // all three tracks selected at creation, before any handler
    auto* check = adapt<pq::QtCheckControl>(static_cast<QAbstractButton*>(box));
    check->setCaption(row.caption);
    check->setForeColor(kDarkGreen);
    view_.*row.boxSlot = check;

    auto* text = make<QPlainTextEdit>(f, row.text, {row.textGeo.l, row.textGeo.t, row.textGeo.w,
                                                     row.textGeo.h}, row.textTip);
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
    auto* button = make<QPushButton>(frames_[2], row.name, {row.g.l, row.g.t, row.g.w, row.g.h},
                                     row.tip);
    button->setFocusPolicy(Qt::TabFocus);
    auto* check = adapt<pq::QtCheckControl>(static_cast<QAbstractButton*>(button));
    check->setCaption(row.caption);
    check->setBackColor(platform::kLightGreen);
    check->setForeColor(kPurple);
    view_.*row.slot = check;
  }
}

void Main_form::buildButtons() {
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
  for (const ButtonRow& row : rows) {
    auto* button = make<QPushButton>(frames_[4], row.name, {row.g.l, row.g.t, row.g.w, row.g.h},
                                     row.tip);
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
    const QString captionName = QString::fromLatin1(row.name).replace(
        QStringLiteral("Label"), QStringLiteral("Caption"));
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
  statusBar_ = make<QWidget>(this, "StatusBar1", {kStatusBar.l, kStatusBar.t, kStatusBar.w,
                                                  kStatusBar.h});
  statusBar_->setFont(font());
  int left = 0;
  for (std::size_t i = 0; i < std::size(kPanels); ++i) {
    const PanelRow& row = kPanels[i];
    const std::string name = "Panel" + std::to_string(i + 1);
    auto* label = new QLabel(statusBar_);
    label->setObjectName(QString::fromStdString(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setGeometry(px(left), 0, px(row.width), statusBar_->height());
    left += row.width;
    auto owned = std::make_unique<pq::QtLabelControl>(label, false);  // "&" shows as it is
    if (row.text) {
      owned->setCaption(row.text);
      label->setToolTip(Tip(row.text));
    }
    view_.StatusPanels[i] = owned.get();
    controls_.push_back(std::move(owned));
  }
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
  // One byte per character, as typed; characters beyond Latin-1 become '?'.
  const QByteArray latin1 = txtSend_->currentText().toLatin1();
  module_->SendTyped(Bytes(latin1.constData(), static_cast<std::size_t>(latin1.size())));
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

  view_.CardDataButton->setVisible(false);
  view_.RTSCheckBox->setVisible(false);
  view_.CTSCheckBox->setVisible(false);
  if (edition_ == Edition::Legacy) {
    // The legacy window hides the port dialog's handshake box, which loads that dialog.
    platform::Forms& forms = module_->forms();
    forms.load(FormId::ComPort);
    if (auto* qtForms = dynamic_cast<QtForms*>(&forms)) {
      if (auto* dialog = qobject_cast<dialogs::ComPort_form*>(qtForms->dialog(FormId::ComPort))) {
        if (dialog->HWHSCheckBox) dialog->HWHSCheckBox->hide();
      }
    }
  }
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

void Main_form::ComPortButton_Click() { module_->forms().show(FormId::ComPort); }
void Main_form::DefaultButton_Click() { module_->DefaultButton_Click(); }
void Main_form::PreSuffixCommand_Click() { module_->forms().show(FormId::FixCode); }
void Main_form::RestartCommandButton_Click() { module_->RestartCommandButton_Click(); }
void Main_form::CardDataButton_Click() { module_->forms().show(FormId::CardType); }
void Main_form::ClearButton_Click() { module_->ClearButton_Click(); }
void Main_form::AboutCommand_Click() { module_->forms().show(FormId::Info); }
void Main_form::ExitButton_Click() { module_->ExitButton_Click(); }

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
