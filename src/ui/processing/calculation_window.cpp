#include "ui/processing/calculation_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/conventions.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

CalculationWindow::CalculationWindow(Session& session, Platform& platform, std::function<void()> done,
                                     std::function<void(const std::function<void()>&)> run, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), done_(std::move(done)), run_(std::move(run))
{
    setObjectName("Form16");
    setWindowTitle("Calculation");
    setAttribute(Qt::WA_DeleteOnClose);
    wholeFile_ = new QCheckBox("calculate whole file reading", this);
    wholeFile_->setObjectName("Check1");
    QPushButton* incline = namedButton("Command1", "All line Automatic Inclination compensation", this);
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* multiply = namedButton("Command3", "Multiplication", this);
    QPushButton* add = namedButton("Command4", "Addition", this);
    operand_ = namedLineEdit("Text1", "100.0", this);
    line_ = namedLabel("Label1", "", this);
    auto* grid = new QGridLayout(this);
    grid->addWidget(wholeFile_, 0, 0, 1, 2);
    grid->addWidget(operand_, 1, 0);
    grid->addWidget(add, 1, 1);
    grid->addWidget(multiply, 2, 1);
    grid->addWidget(incline, 3, 0, 1, 2);
    grid->addWidget(line_, 4, 0);
    grid->addWidget(cancel, 4, 1);
    connect(add, &QPushButton::clicked, this, [this] { calculateAll(Calculation::Addition); });
    connect(multiply, &QPushButton::clicked, this, [this] { calculateAll(Calculation::Multiplication); });
    connect(incline, &QPushButton::clicked, this, &CalculationWindow::compensateAll);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    placeWindow(this, session_.settings.window(SettingsWindow::Calculation));
}

void CalculationWindow::calculateAll(Calculation op)
{
    const double a = leadingNumber(toLocal(operand_->text()));
    calculate(session_.image, session_.processing.undo, session_.state, op, a, wholeFile_->isChecked());
    if (done_) done_();
    close();
}

void CalculationWindow::compensateAll()
{
    auto job = [this] {
        BusyPointer busy(platform_);
        compensateAllRows(session_.image, session_.processing.undo, session_.state.lineRow, [this](int r) {
            line_->setText(fromLocal("Line :" + numberText(r)));
            // Once per row the windows may repaint.
            line_->repaint();
            QCoreApplication::processEvents();
        });
    };
    if (run_)
        run_(job);
    else
        job();
    if (done_) done_();
    close();
}

void CalculationWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Calculation) = windowPosition(this);
    event->accept();
}

}  // namespace lv
