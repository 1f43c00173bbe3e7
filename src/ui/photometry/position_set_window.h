// The PositionSet window: opens where the picture was clicked and makes the
// clicked pixel one of the measurement positions. With aperture sky (Form5)
// every star and sky position has its own button; with median sky (Form10)
// the sky is taken around the star, so only the three stars are offered.
// Below them, the ensemble's comparison stars 2 ... 10 in a list: the one
// chosen is set at the click (the next number adds one) or taken out.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

#include "app/session.h"
#include "photometry/photometry_state.h"

class QComboBox;

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
    // The ensemble's star chosen in the list set at the click, or taken out.
    void chooseEnsemble(bool remove);

    Session& session_;
    PixelPosition click_;
    std::function<void()> markersOff_;
    std::function<void()> fieldsChanged_;
    QComboBox* ensembleList_ = nullptr;
};

}  // namespace lv
