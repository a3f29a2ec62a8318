#include "platform/qt/qt_shell.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace tkr::platform::qt {

namespace {

// The console's texts are byte strings with "\r\n" line ends.
QString BoxText(const std::string& text) {
  QString out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

}  // namespace

void QtShell::messageBox(const std::string& text, const std::string& title, MsgIcon icon) {
  if (boxHook_) {
    boxHook_(text, title, icon);
    return;
  }
  QMessageBox box(icon == MsgIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                  BoxText(title), BoxText(text), QMessageBox::Ok, owner_.data());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtShell::endProgram(int status) {
  if (endHook_) endHook_(status);
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace tkr::platform::qt
