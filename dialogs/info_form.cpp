#include "dialogs/info_form.h"

#include <QLabel>
#include <QPushButton>

#include "dialogs/placement.h"
#include "platform/qt/resizer.h"

namespace tkr::dialogs {

namespace qtp = platform::qt;
using platform::FormId;

namespace {

struct InfoTexts {
  const char* caption;
  const char* version;
  const char* date;
};

InfoTexts textsFor(Edition edition) {
  if (edition == Edition::Legacy) {
    return {"Information of TKR510 Demo Application", "Version : SWPDEMO1", "Date : 21-Nov-2000"};
  }
  return {"Information of TKR520 Demo Application", "Version : SWPDEMO2", "Date : 29-May-2001"};
}

}  // namespace

Info_Form::Info_Form(link::Module1& module, platform::Forms& forms, QWidget* owner)
    : FormWindow(module, forms, FormId::Info, owner) {
  build();
  // Load: the resize control and nothing else.
  THBResize1 = std::make_unique<qtp::Resizer>();
  THBResize1->bind(this);
  THBResize1->onResized = [this] { THBResize1->apply(); };
}

Info_Form::~Info_Form() = default;

void Info_Form::build() {
  const InfoTexts texts = textsFor(module_.edition());
  setObjectName("Info_Form");
  setWindowTitle(texts.caption);

  Label2 = new QLabel("TKR520 Demo Application", this);
  Label2->setObjectName("Label2");
  QFont title = Label2->font();
  title.setBold(true);
  title.setPointSizeF(title.pointSizeF() * 1.3);
  Label2->setFont(title);
  Label1 = new QLabel(texts.version, this);
  Label1->setObjectName("Label1");
  Label4 = new QLabel(texts.date, this);
  Label4->setObjectName("Label4");
  Command1 = new QPushButton("CLOSE", this);
  Command1->setObjectName("Command1");

  // Centred lines, top to bottom, as wide as the window caption so the whole title shows.
  const int inner = std::max({naturalWidth(Label2), naturalWidth(Label1), naturalWidth(Label4),
                              fontMetrics().horizontalAdvance(texts.caption) + 80, 280});
  int y = kMargin + kGap;
  for (QLabel* label : {Label2, Label1, Label4}) {
    label->setAlignment(Qt::AlignCenter);
    const int height = std::max(kRowHeight, label->sizeHint().height());
    label->setGeometry(kMargin, y, inner, height);
    y += height + (label == Label2 ? kGap : 0);
  }
  y += kMargin;
  const int buttonWidth = naturalWidth(Command1, kButtonWidth);
  Command1->setGeometry(kMargin + (inner - buttonWidth) / 2, y, buttonWidth, kButtonHeight);
  resize(inner + 2 * kMargin, y + kButtonHeight + kMargin);

  Command1->setDefault(true);
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void Info_Form::Command1_Click() {
  platform::Forms& forms = forms_;
  const bool legacy = module_.legacy();
  closeForm();
  // The legacy console brings the main window forward from the button only, not on unload.
  if (legacy) forms.show(FormId::Main);
}

void Info_Form::onUnload() {
  // Not while the whole console is going down with the main window.
  if (!module_.legacy() && forms_.loaded(FormId::Main)) forms_.show(FormId::Main);
}

}  // namespace tkr::dialogs
