// The high-order function window (Form20, "High order function"): fits
// the current line with the chosen degree and shows the polynomial.
#pragma once

#include <QWidget>

#include <functional>

#include "app/session.h"
#include "core/platform.h"

class QComboBox;
class QLabel;

namespace lv {

class HighOrderWindow : public QWidget {
    Q_OBJECT
public:
    // `fitted` runs after a successful fit (the curve windows draw it).
    HighOrderWindow(Session& session, Platform& platform, std::function<void()> fitted, QWidget* parent);

    // "OK".
    void accept();
    // The line label: "y =" and the current line.
    void showLine();
    QComboBox* degrees() const { return degrees_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    Platform& platform_;
    std::function<void()> fitted_;
    QComboBox* degrees_;  // Combo1
    QLabel* function_;    // Label1
    QLabel* line_;        // Label2
};

}  // namespace lv
