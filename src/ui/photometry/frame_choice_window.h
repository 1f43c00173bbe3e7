// The per-frame window of automatic photometry (Form9), titled with the
// frame's path: save the frame's line and go on, go on without it, or stop.
#pragma once

#include <QWidget>

#include <functional>

#include "app/session.h"
#include "photometry/automatic_run.h"

namespace lv {

class FrameChoiceWindow : public QWidget {
    Q_OBJECT
public:
    // `answered` runs once, with the button's choice; closing the window
    // without a button counts as "Cancel".
    FrameChoiceWindow(Session& session, const QString& caption, std::function<void(FrameChoice)> answered,
                      QWidget* parent);

    void answer(FrameChoice choice);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    std::function<void(FrameChoice)> answered_;
    FrameChoice choice_ = FrameChoice::Cancel;
};

}  // namespace lv
