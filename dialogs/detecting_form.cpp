#include "dialogs/detecting_form.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "dialogs/placement.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/resizer.h"

namespace tkr::dialogs {

namespace qtp = platform::qt;

Detecting_form::Detecting_form(link::Module1& module, platform::Forms& forms, QWidget* owner)
    : FormWindow(module, forms, platform::FormId::Detecting, owner) {
  build();
  Form_Load();
}

Detecting_form::~Detecting_form() = default;

void Detecting_form::build() {
  setObjectName("Detecting_form");
  setWindowTitle("Baud Rate Auto Detecting");

  StepLabel = new QLabel(this);
  StepLabel->setObjectName("StepLabel");
  StepLabel->setAlignment(Qt::AlignCenter);
  auto* comCaption = new QLabel("COM Port", this);
  COMLabel = new QLabel(this);
  COMLabel->setObjectName("COMLabel");
  auto* dataCaption = new QLabel("Data Format", this);
  DataLabel = new QLabel(this);
  DataLabel->setObjectName("DataLabel");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);
  CancelCmdBtn = new QPushButton("Cancel", this);
  CancelCmdBtn->setObjectName("CancelCmdBtn");

  // Room for the longest texts the search writes: "Step 16 of 16" and "19200,n,8,1".
  const int captionWidth = std::max(naturalWidth(comCaption), naturalWidth(dataCaption));
  const int valueWidth = fontMetrics().horizontalAdvance("19200,n,8,1") + kGap * 2;
  const int inner = std::max({captionWidth + kGap + valueWidth,
                              fontMetrics().horizontalAdvance("Step 16 of 16") + kGap * 2, 260});
  int y = kMargin;
  StepLabel->setGeometry(kMargin, y, inner, kRowHeight);
  y += kRowHeight + kGap / 2;
  comCaption->setGeometry(kMargin, y, captionWidth, kRowHeight);
  COMLabel->setGeometry(kMargin + captionWidth + kGap, y, valueWidth, kRowHeight);
  y += kRowHeight;
  dataCaption->setGeometry(kMargin, y, captionWidth, kRowHeight);
  DataLabel->setGeometry(kMargin + captionWidth + kGap, y, valueWidth, kRowHeight);
  y += kRowHeight + kGap;
  ProgressBar1->setGeometry(kMargin, y, inner, 20);
  y += 20 + kGap * 2;
  const int buttonWidth = naturalWidth(CancelCmdBtn, kButtonWidth);
  CancelCmdBtn->setGeometry(kMargin + (inner - buttonWidth) / 2, y, buttonWidth, kButtonHeight);
  resize(inner + 2 * kMargin, y + kButtonHeight + kMargin);

  stepControl_ = std::make_unique<qtp::QtLabelControl>(StepLabel);
  comControl_ = std::make_unique<qtp::QtLabelControl>(COMLabel);
  dataControl_ = std::make_unique<qtp::QtLabelControl>(DataLabel);
  progressControl_ = std::make_unique<qtp::QtProgressControl>(ProgressBar1);
  view_.StepLabel = stepControl_.get();
  view_.COMLabel = comControl_.get();
  view_.DataLabel = dataControl_.get();
  view_.ProgressBar1 = progressControl_.get();

  connect(CancelCmdBtn, &QPushButton::clicked, this, [this] { CancelCmdBtn_Click(); });
}

void Detecting_form::Form_Load() {
  THBResize1 = std::make_unique<qtp::Resizer>();
  THBResize1->bind(this);
  THBResize1->onResized = [this] { THBResize1->apply(); };
  // The search fills the labels and the bar and starts counting from the first step.
  module_.DetectingForm_Load(&view_);
}

void Detecting_form::CancelCmdBtn_Click() {
  module_.CancelCmdBtn_Click();
}

void Detecting_form::onUnload() {
  module_.DetectingForm_Unloaded();
}

}  // namespace tkr::dialogs
