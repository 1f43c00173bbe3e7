#include "ui/display/qt_job_progress.h"

#include <QCoreApplication>

#include "ui/platform/qt_support.h"

namespace lv {

void QtJobProgress::show(const std::string& caption, const std::string& label)
{
    close();
    auto* w = new ProgressWindow(parent_);
    w->setAttribute(Qt::WA_DeleteOnClose);
    window_ = w;
    shown_ = true;
    w->showCentred(fromLocal(caption), fromLocal(label));
}

bool QtJobProgress::update(const std::string& caption, const std::string& label)
{
    // The user closed the window: stop before the next file.
    if (shown_ && (!window_ || !window_->isVisible())) return false;
    if (window_) {
        window_->setCaption(fromLocal(caption));
        window_->setText(fromLocal(label));
    }
    QCoreApplication::processEvents();
    return !shown_ || (window_ && window_->isVisible());
}

void QtJobProgress::close()
{
    shown_ = false;
    if (window_) window_->close();
}

}  // namespace lv
