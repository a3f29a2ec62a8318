#include "platform/qt/status_bar_panels.h"

namespace tkr::platform::qt {

namespace {
constexpr int kGap = 2;  // between sunken panels
}

StatusBarPanels::StatusBarPanels(const std::array<StatusPanel, kPanels>& panels, QWidget* parent)
    : QWidget(parent) {
  for (int i = 0; i < kPanels; ++i) {
    const auto n = static_cast<std::size_t>(i);
    auto* label = new QLabel(this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setMargin(1);
    label->setText(panels[n].text);
    label->setToolTip(panels[n].toolTip);
    labels_[n] = label;
    widths_[n] = panels[n].width;
    controls_[n] = std::make_unique<QtLabelControl>(label, false);
  }
  place();
}

StatusBarPanels::~StatusBarPanels() = default;

void StatusBarPanels::setPanelWidth(int index, int width) {
  widths_.at(static_cast<std::size_t>(index)) = width;
  place();
}

void StatusBarPanels::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place();
}

void StatusBarPanels::place() {
  // The four widths together are wider than the window; rather than cut off the reader's
  // response, the panels then share the bar's width in the same proportions.
  int total = 0;
  for (int w : widths_) total += w;
  const int room = width() - kGap * (kPanels - 1);
  const double scale = total > room && room > 0 ? static_cast<double>(room) / total : 1.0;
  int x = 0;
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    const int w = static_cast<int>(widths_[i] * scale);
    labels_[i]->setGeometry(x, 0, w, height());
    x += w + kGap;
  }
}

}  // namespace tkr::platform::qt
