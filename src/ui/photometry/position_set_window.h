// The PositionSet window: opens where the picture was clicked and makes the
// clicked pixel one of the measurement positions. With aperture sky (Form5)
// every star and sky position has its own button; with median sky (Form10)
// the sky is taken around the star, so only the three stars are offered.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

#include "app/session.h"
#include "photometry/photometry_state.h"

namespace lv {

class PositionSetWindow : public QWidget {
    Q_OBJECT
public:
    // `xText` / `yText` are the main window's cursor fields, shown as they
    // read; `at` is the screen point the window opens at. `markersOff` runs
    // before a position changes, `fieldsChanged` after.
    PositionSetWindow(Session& session, PixelPosition click, const QString& xText, const QString& yText, QPoint at,
                      std::function<void()> markersOff, std::function<void()> fieldsChanged,
                      QWidget* parent = nullptr);

private:
    void choose(int slot);

    Session& session_;
    PixelPosition click_;
    std::function<void()> markersOff_;
    std::function<void()> fieldsChanged_;
};

}  // namespace lv
