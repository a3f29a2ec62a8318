#pragma once
// Our stand-in for the form resize control: remembers a container's layout when bound and
// rescales the container's direct children to the container's size when asked.
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <vector>

namespace tkr::platform::qt {

class Resizer : public QObject {
  Q_OBJECT

 public:
  explicit Resizer(QObject* parent = nullptr);

  // Records the container's size and each direct child widget's geometry and font size as they
  // are now; a later bind replaces the record.
  void bind(QWidget* container);
  QWidget* container() const { return container_; }

  // Scales every recorded child to the container's current size: geometry by the width and
  // height ratios, fonts (when enabled) by the smaller of the two.
  void apply();
  void setScaleFonts(bool scale) { scaleFonts_ = scale; }

  // Called whenever the bound container is resized.
  std::function<void()> onResized;

 signals:
  void resized();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Child {
    QPointer<QWidget> widget;
    QRect geometry;
    qreal pointSize;  // <= 0 when the font is sized in pixels
    int pixelSize;
  };

  QPointer<QWidget> container_;
  QSize base_;
  std::vector<Child> children_;
  bool scaleFonts_ = true;
};

}  // namespace tkr::platform::qt
