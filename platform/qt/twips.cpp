#include "platform/qt/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace tkr::platform::qt {

int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

Dpi LogicalDpi(const QWidget* widget) {
  const QScreen* screen = widget ? widget->screen() : nullptr;
  if (!screen && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  return {screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()};
}

int TwipsX(int twips, const QWidget* widget) {
  return TwipsToPixels(twips, LogicalDpi(widget).x);
}

int TwipsY(int twips, const QWidget* widget) {
  return TwipsToPixels(twips, LogicalDpi(widget).y);
}

QSize SizeFromTwips(int width, int height, const QWidget* widget) {
  const Dpi dpi = LogicalDpi(widget);
  return {TwipsToPixels(width, dpi.x), TwipsToPixels(height, dpi.y)};
}

QRect FromTwips(int left, int top, int width, int height, Dpi dpi) {
  return {TwipsToPixels(left, dpi.x), TwipsToPixels(top, dpi.y), TwipsToPixels(width, dpi.x),
          TwipsToPixels(height, dpi.y)};
}

QRect FromTwips(int left, int top, int width, int height, const QWidget* widget) {
  return FromTwips(left, top, width, height, LogicalDpi(widget));
}

}  // namespace tkr::platform::qt
