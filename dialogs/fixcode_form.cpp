#include "dialogs/fixcode_form.h"

#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "dialogs/placement.h"
#include "platform/qt/resizer.h"

namespace tkr::dialogs {

namespace qtp = platform::qt;
using platform::FormId;

namespace {

struct GroupText {
  const char* frameCaption;
  const char* codeCaption;
  const char* prefix;  // control name stem: TK1pre, ..., Separator
};

constexpr std::array<GroupText, FixCode_Form::kGroups> kGroupTexts = {{
    {"Track1 Prefix", "Track1 Prefix Code", "TK1pre"},
    {"Track1 Suffix", "Track1 Suffix Code", "TK1suf"},
    {"Track2 Prefix", "Track2 Prefix Code", "TK2pre"},
    {"Track2 Suffix", "Track2 Suffix Code", "TK2suf"},
    {"Track3 Prefix", "Track3 Prefix Code", "TK3pre"},
    {"Track3 Suffix", "Track3 Suffix Code", "TK3suf"},
    {"Track Separator", "Separator", "Separator"},
}};

}  // namespace

FixCode_Form::FixCode_Form(link::Module1& module, platform::Forms& forms, QWidget* owner)
    : FormWindow(module, forms, FormId::FixCode, owner) {
  build();
  Form_Load();
}

FixCode_Form::~FixCode_Form() = default;

QRadioButton* FixCode_Form::defaultOption(Group g) const {
  const std::array<QRadioButton*, kGroups> options = {TK1preOption,   TK1sufOption, TK2preOption,
                                                      TK2sufOption,   TK3preOption, TK3sufOption,
                                                      SeparatorOption};
  return options[static_cast<std::size_t>(g)];
}

QRadioButton* FixCode_Form::codeOption(Group g) const {
  const std::array<QRadioButton*, kGroups> options = {TK1preOption1,   TK1sufOption1, TK2preOption1,
                                                      TK2sufOption1,   TK3preOption1, TK3sufOption1,
                                                      SeparatorOption1};
  return options[static_cast<std::size_t>(g)];
}

std::vector<QLineEdit*> FixCode_Form::boxes(Group g) const {
  switch (g) {
    case TK1pre:
      return {TK1preText.begin(), TK1preText.end()};
    case TK1suf:
      return {TK1sufText.begin(), TK1sufText.end()};
    case TK2pre:
      return {TK2preText.begin(), TK2preText.end()};
    case TK2suf:
      return {TK2sufText.begin(), TK2sufText.end()};
    case TK3pre:
      return {TK3preText.begin(), TK3preText.end()};
    case TK3suf:
      return {TK3sufText.begin(), TK3sufText.end()};
    case Separator:
    case kGroups:
      break;
  }
  return {SeparatorText};
}

bool FixCode_Form::flag(Group g) const {
  switch (g) {
    case TK1pre:
      return PrefixDefault[0];
    case TK2pre:
      return PrefixDefault[1];
    case TK3pre:
      return PrefixDefault[2];
    case TK1suf:
      return SuffixDefault[0];
    case TK2suf:
      return SuffixDefault[1];
    case TK3suf:
      return SuffixDefault[2];
    case Separator:
    case kGroups:
      break;
  }
  return SeparatorDefault;
}

void FixCode_Form::setFlag(Group g, bool useDefault) {
  switch (g) {
    case TK1pre:
      PrefixDefault[0] = useDefault;
      return;
    case TK2pre:
      PrefixDefault[1] = useDefault;
      return;
    case TK3pre:
      PrefixDefault[2] = useDefault;
      return;
    case TK1suf:
      SuffixDefault[0] = useDefault;
      return;
    case TK2suf:
      SuffixDefault[1] = useDefault;
      return;
    case TK3suf:
      SuffixDefault[2] = useDefault;
      return;
    case Separator:
    case kGroups:
      break;
  }
  SeparatorDefault = useDefault;
}

void FixCode_Form::build() {
  setObjectName("FixCode_Form");
  setWindowTitle("Prefix/Suffix Code Setting (Hex code only)");

  std::array<QRadioButton**, kGroups> defaults = {&TK1preOption,   &TK1sufOption, &TK2preOption,
                                                  &TK2sufOption,   &TK3preOption, &TK3sufOption,
                                                  &SeparatorOption};
  std::array<QRadioButton**, kGroups> codes = {&TK1preOption1,   &TK1sufOption1, &TK2preOption1,
                                               &TK2sufOption1,   &TK3preOption1, &TK3sufOption1,
                                               &SeparatorOption1};
  std::array<std::array<QLineEdit*, 6>*, 6> trackBoxes = {&TK1preText, &TK1sufText, &TK2preText,
                                                          &TK2sufText, &TK3preText, &TK3sufText};

  // Only what the reader can be sent: two hexadecimal digits, nothing that would silently
  // turn into a zero.
  const QRegularExpression hexCode("[0-9A-Fa-f]{0,2}");
  const int boxWidth = fontMetrics().horizontalAdvance("WW") + 16;

  int frameWidth = 0;
  for (int i = 0; i < kGroups; ++i) {
    const auto g = static_cast<Group>(i);
    const GroupText& t = kGroupTexts[static_cast<std::size_t>(i)];
    auto* frame = new QGroupBox(t.frameCaption, this);
    frame->setObjectName(QString("Frame%1").arg(i + 1));
    Frame[static_cast<std::size_t>(i)] = frame;

    auto* byDefault = new QRadioButton("Default", frame);
    byDefault->setObjectName(QString("%1Option").arg(t.prefix));
    auto* byCode = new QRadioButton(t.codeCaption, frame);
    byCode->setObjectName(QString("%1Option1").arg(t.prefix));
    *defaults[static_cast<std::size_t>(i)] = byDefault;
    *codes[static_cast<std::size_t>(i)] = byCode;
    connect(byDefault, &QRadioButton::toggled, this, [this, g](bool on) {
      if (on) setFlag(g, true);
    });
    connect(byCode, &QRadioButton::toggled, this, [this, g](bool on) {
      if (on) setFlag(g, false);
    });

    std::vector<QLineEdit*> row;
    if (g == Separator) {
      SeparatorText = new QLineEdit(frame);
      SeparatorText->setObjectName("SeparatorText");
      row.push_back(SeparatorText);
    } else {
      auto& texts = *trackBoxes[static_cast<std::size_t>(i)];
      for (std::size_t b = 0; b < texts.size(); ++b) {
        texts[b] = new QLineEdit(frame);
        texts[b]->setObjectName(QString("%1Text%2").arg(t.prefix).arg(b + 1));
        row.push_back(texts[b]);
      }
    }

    int right = placeNatural(byDefault, kMargin, kFrameTop, kRowHeight);
    right = placeNatural(byCode, right + kGap, kFrameTop, kRowHeight);
    int x = kMargin;
    for (QLineEdit* box : row) {
      box->setToolTip("Hex code only");
      box->setValidator(new QRegularExpressionValidator(hexCode, box));
      box->setGeometry(x, kFrameTop + kRowHeight + kGap / 2, boxWidth, kRowHeight);
      x += boxWidth + kGap / 2;
      if (g == TK3suf) {
        // Track 3 suffix: typing, not entering, chooses the codes.
        connect(box, &QLineEdit::textChanged, this, [byCode] { byCode->setChecked(true); });
      } else {
        box->installEventFilter(this);
      }
    }
    frameWidth = std::max({frameWidth, right + kMargin, x + kMargin, naturalWidth(frame)});
  }

  OKCmdBtn = new QPushButton("OK", this);
  OKCmdBtn->setObjectName("OKCmdBtn");
  CancelCmdBtn = new QPushButton("Cancel", this);
  CancelCmdBtn->setObjectName("CancelCmdBtn");

  // Two columns read row by row: each track's prefix beside its suffix, the separator last.
  const int frameHeight = kFrameTop + 2 * kRowHeight + kGap / 2 + kMargin;
  for (int i = 0; i < kGroups; ++i) {
    const int column = i % 2;
    const int line = i / 2;
    Frame[static_cast<std::size_t>(i)]->setGeometry(kMargin + column * (frameWidth + kGap),
                                                    kGap + line * (frameHeight + kGap), frameWidth,
                                                    frameHeight);
  }
  const int dialogWidth = 2 * frameWidth + kGap + 2 * kMargin;
  const int buttonWidth =
      std::max(naturalWidth(OKCmdBtn, kButtonWidth), naturalWidth(CancelCmdBtn, kButtonWidth));
  // The buttons share the last line with the separator, in the right-hand column.
  const int buttonsTop = kGap + 3 * (frameHeight + kGap) + (frameHeight - kButtonHeight) / 2;
  const int buttonsLeft = kMargin + frameWidth + kGap + (frameWidth - 2 * buttonWidth - kGap) / 2;
  OKCmdBtn->setGeometry(buttonsLeft, buttonsTop, buttonWidth, kButtonHeight);
  CancelCmdBtn->setGeometry(buttonsLeft + buttonWidth + kGap, buttonsTop, buttonWidth,
                            kButtonHeight);
  resize(dialogWidth, kGap + 4 * (frameHeight + kGap) + kMargin - kGap);

  OKCmdBtn->setDefault(true);
  connect(OKCmdBtn, &QPushButton::clicked, this, [this] { OKCmdBtn_Click(); });
  connect(CancelCmdBtn, &QPushButton::clicked, this, [this] { CancelCmdBtn_Click(); });
}

void FixCode_Form::Form_Load() {
  // 1. Resize controls: the dialog, then Frame1..Frame7.
  for (auto& r : THBResize) r = std::make_unique<qtp::Resizer>();
  THBResize[0]->bind(this);
  for (std::size_t i = 0; i < Frame.size(); ++i) THBResize[i + 1]->bind(Frame[i]);
  THBResize[0]->onResized = [this] { Form_Resize(); };

  // 2. Two characters per box.
  for (int i = 0; i < kGroups; ++i) {
    for (QLineEdit* box : boxes(static_cast<Group>(i))) box->setMaxLength(2);
  }

  // 3. Every group starts at "Default"; the option's handler sets the flag.
  for (int i = 0; i < kGroups; ++i) defaultOption(static_cast<Group>(i))->setChecked(true);

  // The focus starts on OK: a code box holding it would switch its group to codes.
  OKCmdBtn->setFocus(Qt::OtherFocusReason);
}

void FixCode_Form::Form_Resize() {
  for (auto& r : THBResize) r->apply();
}

bool FixCode_Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    // Only the operator entering a box counts, not the focus coming back with the window.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      for (int i = 0; i < kGroups; ++i) {
        const auto g = static_cast<Group>(i);
        if (g == TK3suf) continue;
        for (QLineEdit* box : boxes(g)) {
          if (box == watched) codeOption(g)->setChecked(true);
        }
      }
    }
  }
  return FormWindow::eventFilter(watched, event);
}

link::CodeSettings FixCode_Form::codeSettings() const {
  link::CodeSettings settings;
  for (int i = 0; i < kGroups; ++i) {
    const auto g = static_cast<Group>(i);
    link::CodeGroup& group = settings[static_cast<std::size_t>(i)];
    group.useDefault = flag(g);
    const std::vector<QLineEdit*> row = boxes(g);
    for (std::size_t b = 0; b < row.size(); ++b) group.boxes[b] = row[b]->text().toStdString();
  }
  return settings;
}

void FixCode_Form::OKCmdBtn_Click() {
  link::Module1& module = module_;
  platform::Forms& forms = forms_;
  const QPointer<FixCode_Form> self(this);
  const link::CodeSettings settings = codeSettings();
  // The seven exchanges run with the events flowing; the buttons stay pressed meanwhile.
  OKCmdBtn->setEnabled(false);
  CancelCmdBtn->setEnabled(false);
  auto send = [&module, &forms, self, settings] {
    module.SendCodeSettings(settings);
    if (self && !self->unloading()) forms.unload(FormId::FixCode);
    if (!module.legacy()) forms.show(FormId::Main);
  };
  if (module.ExchangeActive()) {
    module.RunWhenIdle(std::move(send));
  } else {
    send();
  }
}

void FixCode_Form::CancelCmdBtn_Click() {
  platform::Forms& forms = forms_;
  const bool legacy = module_.legacy();
  closeForm();
  if (legacy) forms.show(FormId::Main);
}

}  // namespace tkr::dialogs
