#include "ui/display/progress_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace lv {

ProgressWindow::ProgressWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("Form8");
    setWindowTitle("Progress");
    label_ = new QLabel(this);
    label_->setObjectName("Label1");
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    // A fixed size, so long texts wrap instead of moving the window off centre.
    setFixedSize(320, 90);
}

void ProgressWindow::showCentred(const QString& caption, const QString& text)
{
    setCaption(caption);
    setText(text);
    show();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize area = screen->geometry().size();
        const QSize size = frameGeometry().size();
        move((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
    }
    // The caller usually goes straight into a long loop: paint now.
    QCoreApplication::processEvents();
}

void ProgressWindow::setCaption(const QString& caption) { setWindowTitle(caption); }

void ProgressWindow::setText(const QString& text)
{
    label_->setText(text);
    // Updates arrive from inside long loops that do not return to the event loop.
    if (isVisible()) label_->repaint();
}

}  // namespace lv
