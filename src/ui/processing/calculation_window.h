// The calculation window (Form16, "Calculation"): Addition and
// Multiplication of every pixel (optionally of every file read afterwards)
// and inclination compensation of every row, with the row being done shown.
#pragma once

#include <QWidget>

#include <functional>

#include "app/session.h"
#include "core/platform.h"
#include "processing/corrections.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace lv {

class CalculationWindow : public QWidget {
    Q_OBJECT
public:
    // `done` runs after a command changed the image (redraw, statistics, beep).
    // `run` runs the all-rows compensation guarded (the other two are quick).
    CalculationWindow(Session& session, Platform& platform, std::function<void()> done,
                      std::function<void(const std::function<void()>&)> run, QWidget* parent);

    void calculateAll(Calculation op);  // "Addition", "Multiplication"
    void compensateAll();               // "All line Automatic Inclination compensation"
    QLabel* lineLabel() const { return line_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    Platform& platform_;
    std::function<void()> done_;
    std::function<void(const std::function<void()>&)> run_;
    QCheckBox* wholeFile_;  // Check1
    QLineEdit* operand_;    // Text1
    QLabel* line_;          // Label1
};

}  // namespace lv
