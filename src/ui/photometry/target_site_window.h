// The "Target and Site" window (Form25): the target's position, the site and
// the camera that the errors, the times and the airmass of the photometry
// are reckoned with when the frame's header does not give them.
#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "app/session.h"

class QLineEdit;

namespace lv {

class TargetSiteWindow : public QWidget {
    Q_OBJECT
public:
    // `accepted` runs after OK has stored the texts in the settings.
    TargetSiteWindow(Session& session, Platform& platform, QWidget* parent = nullptr,
                     std::function<void()> accepted = {});

private:
    void accept();

    Session& session_;
    Platform& platform_;
    std::function<void()> accepted_;
    // Text1 ... Text8: RA, Dec, latitude, longitude, height, gain, read noise, linearity limit.
    std::array<QLineEdit*, 8> boxes_{};
};

}  // namespace lv
