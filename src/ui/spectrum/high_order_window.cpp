#include "ui/spectrum/high_order_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "core/conventions.h"
#include "processing/polynomial_fit.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

HighOrderWindow::HighOrderWindow(Session& session, Platform& platform, std::function<void()> fitted, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), fitted_(std::move(fitted))
{
    setObjectName("Form20");
    setWindowTitle("High order function");
    setAttribute(Qt::WA_DeleteOnClose);
    degrees_ = new QComboBox(this);
    degrees_->setObjectName("Combo1");
    degrees_->setPlaceholderText("degree");
    degrees_->addItems({"2", "3", "4", "5"});
    degrees_->setCurrentIndex(3);
    function_ = namedLabel("Label1", "function", this);
    line_ = namedLabel("Label2", "", this);
    QPushButton* ok = namedButton("Command1", "OK", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(degrees_);
    layout->addWidget(function_);
    layout->addWidget(line_);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &HighOrderWindow::accept);
    showLine();
    placeWindow(this, session_.settings.window(SettingsWindow::HighOrder));
}

void HighOrderWindow::showLine() { line_->setText(fromLocal("y =" + numberText(session_.state.lineRow))); }

void HighOrderWindow::accept()
{
    const int index = degrees_->currentIndex();
    if (index < 0) {
        platform_.message("Choose the degree of the function (2 ... 5)");
        return;
    }
    FitState& fit = session_.processing.fit;
    FitMatrix matrix = fit.matrix;
    if (!session_.image.loaded() || !fitRow(session_.image, session_.state.lineRow, index + 2, matrix)) {
        platform_.message(session_.image.loaded() ? kZeroPivotMessage : kNoImageMessage);
        return;
    }
    fit.degree = index + 2;
    fit.matrix = matrix;
    // One term a line: the whole polynomial stays inside the window and the screen.
    QStringList terms;
    for (const std::string& t : polynomialTerms(fit.matrix, fit.degree)) terms << fromLocal(t);
    function_->setText(terms.join('\n'));
    keepOnScreen(this);
    if (fitted_) fitted_();
}

void HighOrderWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::HighOrder) = windowPosition(this);
    event->accept();
}

}  // namespace lv
