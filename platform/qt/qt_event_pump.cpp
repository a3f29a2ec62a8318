#include "platform/qt/qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

namespace tkr::platform::qt {

void QtEventPump::doEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitForEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventPump::post(std::function<void()> task) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

}  // namespace tkr::platform::qt
