#pragma once
// Window geometry is designed in twips (1/1440 inch); the screen's logical DPI turns it into
// pixels, so the layout keeps its physical proportions on scaled displays.
#include <QRect>
#include <QSize>

class QWidget;

namespace tkr::platform::qt {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;  // when there is no screen at all

// round(twips * dpi / 1440), halves away from zero.
int TwipsToPixels(int twips, double dpi);

struct Dpi {
  double x = kFallbackDpi;
  double y = kFallbackDpi;
};
// The logical DPI of the widget's screen, or of the primary screen when widget is null.
Dpi LogicalDpi(const QWidget* widget = nullptr);

int TwipsX(int twips, const QWidget* widget = nullptr);
int TwipsY(int twips, const QWidget* widget = nullptr);
QSize SizeFromTwips(int width, int height, const QWidget* widget = nullptr);
QRect FromTwips(int left, int top, int width, int height, const QWidget* widget = nullptr);
QRect FromTwips(int left, int top, int width, int height, Dpi dpi);

}  // namespace tkr::platform::qt
