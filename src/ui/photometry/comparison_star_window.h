// The comparison-star window (Form23, "Comparison Star Magnitude Input"):
// the comparison star's name, magnitude, filter and the observer code that
// go into the report line of the light curve.
#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "app/session.h"

class QLineEdit;
class QRadioButton;

namespace lv {

class ComparisonStarWindow : public QWidget {
    Q_OBJECT
public:
    // `accepted` runs after OK has stored the values.
    explicit ComparisonStarWindow(Session& session, QWidget* parent = nullptr, std::function<void()> accepted = {});

private:
    void accept();

    PhotometryState& state_;
    std::function<void()> accepted_;
    QLineEdit* nameBox_;       // Text1
    QLineEdit* magnitudeBox_;  // Text2
    QLineEdit* codeBox_;       // Text3
    // Option1 ... Option4 are the filters B, V, R, I; Option5 is no filter.
    std::array<QRadioButton*, 5> options_{};
};

}  // namespace lv
