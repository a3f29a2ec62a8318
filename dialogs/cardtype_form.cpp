#include "dialogs/cardtype_form.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/placement.h"
#include "platform/qt/resizer.h"

namespace tkr::dialogs {

namespace qtp = platform::qt;
using platform::FormId;

CardType_Form::CardType_Form(link::Module1& module, platform::Forms& forms, QWidget* owner)
    : FormWindow(module, forms, FormId::CardType, owner) {
  build();
  Form_Load();
}

CardType_Form::~CardType_Form() = default;

void CardType_Form::build() {
  setObjectName("CardType_Form");
  setWindowTitle("Card Type and Protocol Setting");

  Frame2 = new QGroupBox("Protocol", this);
  Frame2->setObjectName("Frame2");
  const std::array<QRadioButton**, 3> options = {&ProtocolOption1, &ProtocolOption2,
                                                 &ProtocolOption3};
  int optionWidth = 0;
  for (int i = 0; i < 3; ++i) {
    auto* option = new QRadioButton(QString("Protocol %1").arg(i), Frame2);
    option->setObjectName(QString("ProtocolOption%1").arg(i + 1));
    *options[static_cast<std::size_t>(i)] = option;
    optionWidth = std::max(optionWidth, naturalWidth(option));
    // Each option writes its protocol as soon as it is chosen; Cancel does not undo it.
    connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) module_.ReaderProtocol = i;
    });
  }
  DoneButton = new QPushButton("Done", this);
  DoneButton->setObjectName("DoneButton");
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  DefaultButton = new QPushButton("Default", this);
  DefaultButton->setObjectName("DefaultButton");

  const int buttonWidth =
      std::max({naturalWidth(DoneButton, kButtonWidth), naturalWidth(CancelButton, kButtonWidth),
                naturalWidth(DefaultButton, kButtonWidth)});
  const int inner = std::max(3 * buttonWidth + 2 * kGap, optionWidth + 2 * kMargin);
  for (int i = 0; i < 3; ++i) {
    (*options[static_cast<std::size_t>(i)])
        ->setGeometry(kMargin, kFrameTop + i * kRowHeight, optionWidth, kRowHeight);
  }
  const int frameHeight = kFrameTop + 3 * kRowHeight + kMargin;
  Frame2->setGeometry(kMargin, kGap, inner, frameHeight);
  const int y = kGap + frameHeight + kMargin;
  DoneButton->setGeometry(kMargin, y, buttonWidth, kButtonHeight);
  CancelButton->setGeometry(kMargin + buttonWidth + kGap, y, buttonWidth, kButtonHeight);
  DefaultButton->setGeometry(kMargin + 2 * (buttonWidth + kGap), y, buttonWidth, kButtonHeight);
  resize(inner + 2 * kMargin, y + kButtonHeight + kMargin);

  connect(DoneButton, &QPushButton::clicked, this, [this] { DoneButton_Click(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButton_Click(); });
  connect(DefaultButton, &QPushButton::clicked, this, [this] { DefaultButton_Click(); });
}

void CardType_Form::Form_Load() {
  // Nothing is preselected: the dialog does not know what the reader uses now.
  THBResize1 = std::make_unique<qtp::Resizer>();
  THBResize2 = std::make_unique<qtp::Resizer>();
  THBResize1->bind(this);
  THBResize2->bind(Frame2);
  THBResize1->onResized = [this] { Form_Resize(); };
}

void CardType_Form::Form_Resize() {
  THBResize1->apply();
  THBResize2->apply();
}

void CardType_Form::DoneButton_Click() {
  link::Module1& module = module_;
  closeForm();
  // Sent into a running exchange, the frame's answer would be taken for the awaited one.
  if (module.ExchangeActive()) {
    module.RunWhenIdle([&module] { module.SendProtocolSetting(); });
  } else {
    module.SendProtocolSetting();
  }
}

void CardType_Form::CancelButton_Click() {
  closeForm();
}

}  // namespace tkr::dialogs
