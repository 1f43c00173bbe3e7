#include "ui/display/header_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

#include "core/fits_image.h"
#include "ui/platform/qt_support.h"

namespace lv {

HeaderWindow::HeaderWindow(Session& session, QWidget* parent) : QWidget(parent, Qt::Window), session_(session)
{
    setObjectName("Form3");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(fromLocal(session_.image.fileName));

    text_ = new QPlainTextEdit(this);
    text_->setObjectName("Text1");
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    // Records are shown whole, trailing blanks included, each ended by a line
    // end as in the file's text form (so the last line after END is empty).
    QString text;
    const FitsImage& image = session_.image;
    for (int i = 1; i <= image.cardCount(); ++i) {
        text += fromLocal(image.card(i));
        text += QLatin1Char('\n');
    }
    text_->setPlainText(text);

    // Wide enough for a whole record at first; the user may resize.
    const QFontMetrics metrics(text_->font());
    const int recordWidth = metrics.horizontalAdvance(QString(kCardLength, QLatin1Char('M')));
    resize(recordWidth + text_->verticalScrollBar()->sizeHint().width() + 2 * text_->frameWidth() + 8 + kWidthMargin,
           metrics.lineSpacing() * 24 + kHeightMargin);
    // The user may make it smaller, never so small that the text box is gone.
    setMinimumSize(metrics.horizontalAdvance(QString(20, QLatin1Char('M'))) + kWidthMargin,
                   metrics.lineSpacing() * 4 + kHeightMargin);
    fitText();
    placeWindow(this, session_.settings.window(SettingsWindow::Header));
}

void HeaderWindow::fitText()
{
    text_->setGeometry(0, 0, std::max(0, width() - kWidthMargin), std::max(0, height() - kHeightMargin));
}

void HeaderWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!isMinimized()) fitText();
}

void HeaderWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Header) = windowPosition(this);
    event->accept();
}

}  // namespace lv
