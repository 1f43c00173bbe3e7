#include "ui/platform/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include "ui/platform/qt_support.h"

namespace lv {

namespace {

QString titleOf(std::string_view title) { return title.empty() ? QStringLiteral("Lumavist") : fromLocal(title); }

// Message texts carry CR LF (or CR) line breaks; a message box wants plain line feeds.
QString boxText(std::string_view text)
{
    return fromLocal(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
}

}  // namespace

void QtPlatform::message(std::string_view text, std::string_view title)
{
    QMessageBox::information(parent_, titleOf(title), boxText(text), QMessageBox::Ok);
}

void QtPlatform::error(std::string_view text, std::string_view title)
{
    QMessageBox::warning(parent_, titleOf(title), boxText(text), QMessageBox::Ok);
}

bool QtPlatform::askOkCancel(std::string_view text, std::string_view title)
{
    return QMessageBox::question(parent_, titleOf(title), boxText(text), QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

void QtPlatform::clearClipboard() { QGuiApplication::clipboard()->clear(); }

void QtPlatform::setClipboardText(std::string_view text) { QGuiApplication::clipboard()->setText(fromLocal(text)); }

void QtPlatform::setClipboardPicture(const RgbPicture& picture)
{
    QGuiApplication::clipboard()->setImage(toQImage(picture));
}

void QtPlatform::beep() { QApplication::beep(); }

void QtPlatform::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace lv
