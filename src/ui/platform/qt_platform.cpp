#include "ui/platform/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QFontMetrics>
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

namespace {

// A message box wide enough for its caption ("Astronomical Photometry").
int showBox(QWidget* parent, QMessageBox::Icon icon, std::string_view title, std::string_view text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton chosen)
{
    QMessageBox box(icon, titleOf(title), boxText(text), buttons, parent);
    box.setDefaultButton(chosen);
    QFont font = box.font();
    font.setBold(true);
    const int need = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + 60;
    box.setStyleSheet(QStringLiteral("QLabel{min-width: %1px;}").arg(need));
    return box.exec();
}

}  // namespace

void QtPlatform::message(std::string_view text, std::string_view title)
{
    showBox(parent_, QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtPlatform::error(std::string_view text, std::string_view title)
{
    showBox(parent_, QMessageBox::Warning, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtPlatform::askOkCancel(std::string_view text, std::string_view title)
{
    return showBox(parent_, QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
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
