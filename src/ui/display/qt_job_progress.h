// A folder job's progress in the progress window: shown centred, updated
// once per file with the user interface let run, and closing the window by
// hand stops the job before its next file.
#pragma once

#include <QPointer>

#include "core/job_progress.h"
#include "ui/display/progress_window.h"

class QWidget;

namespace lv {

class QtJobProgress : public JobProgress {
public:
    explicit QtJobProgress(QWidget* parent) : parent_(parent) {}
    ~QtJobProgress() override { close(); }

    void show(const std::string& caption, const std::string& label) override;
    bool update(const std::string& caption, const std::string& label) override;
    void close() override;

    ProgressWindow* window() const { return window_; }

private:
    QWidget* parent_;
    QPointer<ProgressWindow> window_;
    bool shown_ = false;
};

}  // namespace lv
