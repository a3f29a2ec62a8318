#pragma once
// The four-panel status bar at the bottom of a window. Panels keep their widths (2469, 4233, 2469
// and 4233 twips at the design size); those past the bar's right edge are cut off.
#include <QLabel>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>

#include "platform/qt/qt_controls.h"

namespace tkr::platform::qt {

struct StatusPanel {
  int width = 0;  // pixels
  QString text;
  QString toolTip;
};

class StatusBarPanels : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPanels = 4;

  explicit StatusBarPanels(const std::array<StatusPanel, kPanels>& panels,
                           QWidget* parent = nullptr);
  ~StatusBarPanels() override;

  // Panels 1..4 at index 0..3. Every "&" shows as it is.
  QtLabelControl& panel(int index) { return *controls_.at(static_cast<std::size_t>(index)); }
  QLabel* label(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
  void setPanelWidth(int index, int width);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void place();

  std::array<QLabel*, kPanels> labels_{};
  std::array<int, kPanels> widths_{};
  std::array<std::unique_ptr<QtLabelControl>, kPanels> controls_;
};

}  // namespace tkr::platform::qt
