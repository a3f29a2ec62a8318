#pragma once
// Absolute placement for the dialogs: the resize controls rescale what they find, so the
// dialogs use fixed geometry, measured from the font in use so that no caption is cut off.
#include <QWidget>
#include <algorithm>

namespace tkr::dialogs {

constexpr int kMargin = 12;     // between a container's edge and its controls
constexpr int kGap = 8;         // between neighbouring controls
constexpr int kFrameTop = 22;   // first row below a frame's caption
constexpr int kRowHeight = 24;  // an option button, check box, label or text box
constexpr int kButtonHeight = 28;
constexpr int kButtonWidth = 88;

// Width a control needs to show its caption whole, never below minWidth.
inline int naturalWidth(const QWidget* w, int minWidth = 0) {
  return std::max(w->sizeHint().width(), minWidth);
}

// Places w at (x, y) with its natural width (at least minWidth); returns its right edge.
inline int placeNatural(QWidget* w, int x, int y, int height, int minWidth = 0) {
  const int width = naturalWidth(w, minWidth);
  w->setGeometry(x, y, width, height);
  return x + width;
}

// The bottom-right corner of a container's children plus the margin.
inline QSize extentOf(const QWidget* container) {
  int right = 0;
  int bottom = 0;
  for (const QObject* o : container->children()) {
    const auto* w = qobject_cast<const QWidget*>(o);
    if (w == nullptr || w->isWindow()) continue;
    right = std::max(right, w->geometry().right() + 1);
    bottom = std::max(bottom, w->geometry().bottom() + 1);
  }
  return {right + kMargin, bottom + kMargin};
}

}  // namespace tkr::dialogs
