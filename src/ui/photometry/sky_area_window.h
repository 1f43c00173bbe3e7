// The sky area window (Form11): the aperture size and the inner and outer
// edges of the sky ring, checked together before anything is stored.
#pragma once

#include <QWidget>

#include <functional>

#include "core/platform.h"
#include "app/session.h"

class QLineEdit;

namespace lv {

class SkyAreaWindow : public QWidget {
    Q_OBJECT
public:
    // `markersOff` runs at opening; `fieldsChanged` after OK has stored.
    SkyAreaWindow(Session& session, Platform& platform, std::function<void()> markersOff,
                  std::function<void()> fieldsChanged, QWidget* parent = nullptr);

    // The values OK would check: the typed size and inside.
    int size() const { return size_; }
    double inside() const { return inside_; }

private:
    void accept();
    void standard();

    PhotometrySettings& settings_;
    Platform& platform_;
    std::function<void()> fieldsChanged_;
    QLineEdit* sizeBox_;     // Text1
    QLineEdit* insideBox_;   // Text2
    QLineEdit* outsideBox_;  // Text3
    int size_ = 0;
    double inside_ = 0;
};

}  // namespace lv
