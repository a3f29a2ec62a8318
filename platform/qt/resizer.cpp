#include "platform/qt/resizer.h"

#include <QEvent>
#include <algorithm>
#include <cmath>

namespace tkr::platform::qt {

namespace {

int Scale(int value, double ratio) {
  return static_cast<int>(std::lround(value * ratio));
}

}  // namespace

Resizer::Resizer(QObject* parent) : QObject(parent) {}

void Resizer::bind(QWidget* container) {
  if (container_) container_->removeEventFilter(this);
  container_ = container;
  children_.clear();
  if (!container) return;
  base_ = container->size();
  for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;  // a dialog parented to the window is no control of it
    const QFont font = child->font();
    children_.push_back({child, child->geometry(), font.pointSizeF(), font.pixelSize()});
  }
  container->installEventFilter(this);
}

void Resizer::apply() {
  if (!container_ || base_.width() <= 0 || base_.height() <= 0) return;
  const double sx = static_cast<double>(container_->width()) / base_.width();
  const double sy = static_cast<double>(container_->height()) / base_.height();
  const double fontRatio = std::min(sx, sy);
  for (const Child& child : children_) {
    if (!child.widget) continue;
    // Edges are scaled rather than sizes, so neighbours that touched still touch.
    const QRect& g = child.geometry;
    const int left = Scale(g.x(), sx), top = Scale(g.y(), sy);
    const int right = Scale(g.x() + g.width(), sx), bottom = Scale(g.y() + g.height(), sy);
    child.widget->setGeometry(left, top, right - left, bottom - top);
    if (!scaleFonts_) continue;
    QFont font = child.widget->font();
    if (child.pointSize > 0) {
      font.setPointSizeF(std::max(1.0, child.pointSize * fontRatio));
    } else if (child.pixelSize > 0) {
      font.setPixelSize(std::max(1, Scale(child.pixelSize, fontRatio)));
    }
    child.widget->setFont(font);
  }
}

bool Resizer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == container_ && event->type() == QEvent::Resize) {
    if (onResized) onResized();
    emit resized();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tkr::platform::qt
