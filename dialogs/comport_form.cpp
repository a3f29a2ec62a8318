#include "dialogs/comport_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <utility>

#include "dialogs/placement.h"
#include "platform/qt/resizer.h"

namespace tkr::dialogs {

namespace qtp = platform::qt;
using platform::FormId;

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;

ComPort_form::PortDescriber& describer() {
  static ComPort_form::PortDescriber d;
  return d;
}

std::string describePort(int port) {
  const auto& d = describer();
  return d ? d(port) : std::string("no device");
}

// A caption of the main window, or nothing when the window has no such control.
Bytes captionOf(const platform::Control* control) {
  return control != nullptr ? control->caption() : Bytes();
}

QRadioButton* makeOption(const char* name, const char* caption, QWidget* parent) {
  auto* option = new QRadioButton(caption, parent);
  option->setObjectName(name);
  return option;
}

}  // namespace

void ComPort_form::setPortDescriber(PortDescriber d) {
  describer() = std::move(d);
}

ComPort_form::ComPort_form(link::Module1& module, platform::Forms& forms, QWidget* owner)
    : FormWindow(module, forms, FormId::ComPort, owner) {
  build();
  Form_Load();
}

ComPort_form::~ComPort_form() = default;

std::array<QRadioButton*, 5> ComPort_form::baudOptions() const {
  return {BaudRateOption1, BaudRateOption2, BaudRateOption3, BaudRateOption4, BaudRateOption5};
}

std::array<QRadioButton*, 5> ComPort_form::parityOptions() const {
  return {ParityOption1, ParityOption2, ParityOption3, ParityOption4, ParityOption5};
}

void ComPort_form::build() {
  setObjectName("ComPort_form");
  setWindowTitle("Manual COM Port Selection");

  Frame1 = new QGroupBox("COM Port", this);
  Frame1->setObjectName("Frame1");
  ComPortComboBox = new QComboBox(Frame1);
  ComPortComboBox->setObjectName("ComPortComboBox");
  ComPortComboBox->setEditable(true);
  // Typed text is never taken as a choice: no new entries, no completion into an entry.
  ComPortComboBox->setInsertPolicy(QComboBox::NoInsert);
  ComPortComboBox->setCompleter(nullptr);
  ComPortComboBox->lineEdit()->installEventFilter(this);
  for (int port = kFirstPort; port <= kLastPort; ++port) {
    ComPortComboBox->addItem(QString("COM%1").arg(port), port);
  }
  describePorts();

  Frame2 = new QGroupBox("Baud Rate", this);
  Frame2->setObjectName("Frame2");
  BaudRateOption1 = makeOption("BaudRateOption1", "1200", Frame2);
  BaudRateOption2 = makeOption("BaudRateOption2", "2400", Frame2);
  BaudRateOption3 = makeOption("BaudRateOption3", "4800", Frame2);
  BaudRateOption4 = makeOption("BaudRateOption4", "9600", Frame2);
  BaudRateOption5 = makeOption("BaudRateOption5", "19200", Frame2);

  Frame3 = new QGroupBox("Bit && Parity", this);
  Frame3->setObjectName("Frame3");
  ParityOption1 = makeOption("ParityOption1", "7 EVEN", Frame3);
  ParityOption2 = makeOption("ParityOption2", "7 ODD", Frame3);
  ParityOption3 = makeOption("ParityOption3", "7 MARK", Frame3);
  ParityOption4 = makeOption("ParityOption4", "7 SPACE", Frame3);
  ParityOption5 = makeOption("ParityOption5", "8 NONE", Frame3);

  HWHSCheckBox = new QCheckBox("Hardware Handshake", this);
  HWHSCheckBox->setObjectName("HWHSCheckBox");
  DoneButton = new QPushButton("Done", this);
  DoneButton->setObjectName("DoneButton");
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  DefaultButton = new QPushButton("Default", this);
  DefaultButton->setObjectName("DefaultButton");
  DefaultButton->setToolTip("9600,n,8,1 without H/W handshake");

  // Geometry. The load leaves only 9600 and "8 NONE" of the options in view, so those take
  // each frame's first row and the frames are sized to them; the hidden options follow in
  // their own order below.
  const int optionWidth = [&] {
    int w = 0;
    for (QRadioButton* o : baudOptions()) w = std::max(w, naturalWidth(o));
    for (QRadioButton* o : parityOptions()) w = std::max(w, naturalWidth(o));
    return w;
  }();
  const int comboWidth =
      std::max(naturalWidth(ComPortComboBox), fontMetrics().horizontalAdvance("COM16") + 48);
  const int frameWidth = std::max({optionWidth, comboWidth, naturalWidth(Frame1),
                                   naturalWidth(Frame2), naturalWidth(Frame3)}) +
                         2 * kMargin;
  const auto stack = [&](std::initializer_list<QRadioButton*> order) {
    int row = 0;
    for (QRadioButton* o : order)
      o->setGeometry(kMargin, kFrameTop + kRowHeight * row++, optionWidth, kRowHeight);
  };
  stack({BaudRateOption4, BaudRateOption1, BaudRateOption2, BaudRateOption3, BaudRateOption5});
  stack({ParityOption5, ParityOption1, ParityOption2, ParityOption3, ParityOption4});
  ComPortComboBox->setGeometry(kMargin, kFrameTop, comboWidth, kRowHeight + 2);

  const int frameHeight = kFrameTop + kRowHeight + kMargin;
  int y = kGap;
  Frame1->setGeometry(kMargin, y, 2 * frameWidth + kGap, frameHeight + 2);
  y += frameHeight + 2 + kGap;
  Frame2->setGeometry(kMargin, y, frameWidth, frameHeight);
  Frame3->setGeometry(kMargin + frameWidth + kGap, y, frameWidth, frameHeight);
  y += frameHeight + kGap * 2;
  const int dialogWidth = 2 * frameWidth + kGap + 2 * kMargin;

  // Done and Cancel side by side in the middle. The hidden check box and Default button sit
  // on a row of their own below, outside the window's size, so they leave no hole in it.
  const int buttonWidth =
      std::max({naturalWidth(DoneButton, kButtonWidth), naturalWidth(CancelButton, kButtonWidth),
                naturalWidth(DefaultButton, kButtonWidth)});
  const int left = (dialogWidth - 2 * buttonWidth - kGap) / 2;
  DoneButton->setGeometry(left, y, buttonWidth, kButtonHeight);
  CancelButton->setGeometry(left + buttonWidth + kGap, y, buttonWidth, kButtonHeight);
  const int hiddenRow = y + kButtonHeight + kMargin;
  HWHSCheckBox->setGeometry(kMargin, hiddenRow, naturalWidth(HWHSCheckBox), kRowHeight);
  DefaultButton->setGeometry(dialogWidth - kMargin - buttonWidth, hiddenRow, buttonWidth,
                             kButtonHeight);
  resize(dialogWidth, y + kButtonHeight + kMargin);

  // Option clicks, also raised when the load selects an option in code.
  const auto onSelect = [this](QRadioButton* option, std::string link::Module1::*field,
                               const char* value) {
    connect(option, &QRadioButton::toggled, this, [this, field, value](bool on) {
      if (on) module_.*field = value;
    });
  };
  onSelect(BaudRateOption1, &link::Module1::BaudSetting, "1200");
  onSelect(BaudRateOption2, &link::Module1::BaudSetting, "2400");
  onSelect(BaudRateOption3, &link::Module1::BaudSetting, "4800");
  onSelect(BaudRateOption4, &link::Module1::BaudSetting, "9600");
  onSelect(BaudRateOption5, &link::Module1::BaudSetting, "19200");
  onSelect(ParityOption1, &link::Module1::FrameSetting, "e,7,1");
  onSelect(ParityOption2, &link::Module1::FrameSetting, "o,7,1");
  onSelect(ParityOption3, &link::Module1::FrameSetting, "m,7,1");
  onSelect(ParityOption4, &link::Module1::FrameSetting, "s,7,1");
  onSelect(ParityOption5, &link::Module1::FrameSetting, "n,8,1");
  connect(HWHSCheckBox, &QCheckBox::toggled, this,
          [this](bool on) { module_.HardwareHandshake = on; });

  connect(ComPortComboBox, &QComboBox::activated, this,
          [this](int index) { ComPortComboBox_Click(index); });
  connect(DoneButton, &QPushButton::clicked, this, [this] { DoneButton_Click(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButton_Click(); });
  connect(DefaultButton, &QPushButton::clicked, this, [this] { DefaultButton_Click(); });
}

void ComPort_form::Form_Load() {
  // 1. Resize controls: the dialog and its three frames.
  THBResize1 = std::make_unique<qtp::Resizer>();
  THBResize2 = std::make_unique<qtp::Resizer>();
  THBResize3 = std::make_unique<qtp::Resizer>();
  THBResize4 = std::make_unique<qtp::Resizer>();
  THBResize1->bind(this);
  THBResize2->bind(Frame1);
  THBResize3->bind(Frame2);
  THBResize4->bind(Frame3);
  THBResize1->onResized = [this] { Form_Resize(); };

  // 2. Only the port, 9600 baud, "8 NONE", Done and Cancel are the operator's to use.
  for (QWidget* w : std::initializer_list<QWidget*>{
           HWHSCheckBox, DefaultButton, BaudRateOption1, BaudRateOption2, BaudRateOption3,
           BaudRateOption5, ParityOption1, ParityOption2, ParityOption3, ParityOption4}) {
    w->setVisible(false);
  }

  // 3. The port the serial control is set to now.
  const int port = module_.serial().commPort();
  if (port >= kFirstPort && port <= kLastPort) ComPortComboBox->setCurrentIndex(port - kFirstPort);
  ComPortComboBox->setEditText(QString("COM%1").arg(port));
  module_.PortNumber = port;

  // 4. The baud rate the main window shows; 9600 when it shows none of the five.
  const Bytes baud = captionOf(module_.view().BaudRateLabel);
  QRadioButton* baudOption = BaudRateOption4;
  for (QRadioButton* o : baudOptions()) {
    if (baud == o->text().toStdString()) {
      baudOption = o;
      break;
    }
  }
  baudOption->setChecked(true);

  // 5. Hardware handshake follows the serial control; XON/XOFF leaves the box alone.
  const int handshaking = module_.serial().handshaking();
  if (handshaking == platform::comRTS) {
    HWHSCheckBox->setChecked(true);
  } else if (handshaking == platform::comNone) {
    HWHSCheckBox->setChecked(false);
  }

  // 6. The data format the main window shows; "8 NONE" for anything else.
  const Bytes format = captionOf(module_.view().ParityLabel);
  static constexpr std::array<const char*, 4> kFormats = {"e,7,1", "o,7,1", "m,7,1", "s,7,1"};
  QRadioButton* formatOption = ParityOption5;
  for (std::size_t i = 0; i < kFormats.size(); ++i) {
    if (format == kFormats[i]) {
      formatOption = parityOptions()[i];
      break;
    }
  }
  formatOption->setChecked(true);
}

void ComPort_form::Form_Resize() {
  THBResize1->apply();
  THBResize2->apply();
  THBResize3->apply();
  THBResize4->apply();
}

void ComPort_form::describePorts() {
  for (int port = kFirstPort; port <= kLastPort; ++port) {
    ComPortComboBox->setItemData(port - kFirstPort, QString::fromStdString(describePort(port)),
                                 Qt::ToolTipRole);
  }
}

void ComPort_form::showEvent(QShowEvent* event) {
  describePorts();
  FormWindow::showEvent(event);
}

bool ComPort_form::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the port box would take the typed text as a choice (and press Done); only
  // choosing an entry from the list names the port.
  if (watched == ComPortComboBox->lineEdit() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  }
  return FormWindow::eventFilter(watched, event);
}

void ComPort_form::ComPortComboBox_Click(int index) {
  if (index == -1) return;
  module_.PortNumber = ComPortComboBox->itemData(index).toInt();
}

void ComPort_form::runWhenIdle(std::function<void()> action) {
  if (!module_.ExchangeActive()) {
    action();
    return;
  }
  // The reconnection would tear the port away from the exchange that is waiting on it.
  // The choice is made: the buttons stay pressed until it has been carried out.
  DoneButton->setEnabled(false);
  CancelButton->setEnabled(false);
  DefaultButton->setEnabled(false);
  module_.RunWhenIdle(std::move(action));
}

void ComPort_form::DoneButton_Click() {
  link::Module1& module = module_;
  platform::Forms& forms = forms_;
  const QPointer<ComPort_form> self(this);
  // Closes this dialog only: by the time a deferred Done runs, the operator may have opened
  // a new one.
  const auto close = [self, &forms] {
    if (self && !self->unloading()) forms.unload(FormId::ComPort);
  };
  runWhenIdle([&module, close] {
    if (module.legacy()) {
      close();
      module.ApplyPortSettings();
    } else {
      module.ApplyPortSettings();
      close();
    }
  });
}

void ComPort_form::CancelButton_Click() {
  closeForm();
}

void ComPort_form::DefaultButton_Click() {
  link::Module1& module = module_;
  platform::Forms& forms = forms_;
  const QPointer<ComPort_form> self(this);
  runWhenIdle([&module, &forms, self] {
    module.ComPortDefault();
    if (self && !self->unloading()) forms.unload(FormId::ComPort);
  });
}

}  // namespace tkr::dialogs
