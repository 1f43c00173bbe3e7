#include "ui/photometry/comparison_star_window.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/conventions.h"
#include "photometry/positions.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {
constexpr int kNoFilterOption = 4;
}

ComparisonStarWindow::ComparisonStarWindow(Session& session, QWidget* parent, std::function<void()> accepted)
    : QWidget(parent, Qt::Window), state_(session.photometry), accepted_(std::move(accepted))
{
    setObjectName("Form23");
    setWindowTitle("Comparison Star Magnitude Input");
    setAttribute(Qt::WA_DeleteOnClose);

    const ComparisonStar& c = state_.comparison;
    QLabel* nameLabel = namedLabel("Label1", "Star Name", this);
    nameBox_ = namedLineEdit("Text1", fromLocal(c.starName), this);
    QLabel* magnitudeLabel = namedLabel("Label2", "Comaprison Magnitude", this);
    magnitudeBox_ = namedLineEdit("Text2", fromLocal(numberText(c.comparisonMagnitude)), this);
    QLabel* codeLabel = namedLabel("Label3", "Obs. code", this);
    codeBox_ = namedLineEdit("Text3", fromLocal(c.observerCode), this);
    QLabel* note = namedLabel("Label4", "This is a CLIP BOARD Functin.", this);
    QPushButton* ok = namedButton("Command1", "OK", this);

    auto* group = new QButtonGroup(this);
    const char* texts[] = {"B", "V", "R", "I", "Don't use this Function"};
    for (int i = 0; i < 5; ++i) {
        auto* o = new QRadioButton(texts[i], this);
        o->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        group->addButton(o);
        options_[static_cast<std::size_t>(i)] = o;
    }
    const bool filter = c.filterIndex >= 0 && c.filterIndex < kNoFilterOption;
    options_[static_cast<std::size_t>(filter ? c.filterIndex : kNoFilterOption)]->setChecked(true);

    auto* grid = new QGridLayout;
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameBox_, 0, 1);
    grid->addWidget(magnitudeLabel, 1, 0);
    grid->addWidget(magnitudeBox_, 1, 1);
    auto* filters = new QHBoxLayout;
    for (int i = 0; i < kNoFilterOption; ++i) filters->addWidget(options_[static_cast<std::size_t>(i)]);
    filters->addStretch();
    auto* code = new QHBoxLayout;
    code->addWidget(codeLabel);
    code->addWidget(codeBox_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(note);
    bottom->addStretch();
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(filters);
    layout->addWidget(options_[kNoFilterOption]);
    layout->addLayout(code);
    layout->addLayout(bottom);

    connect(ok, &QPushButton::clicked, this, &ComparisonStarWindow::accept);
}

void ComparisonStarWindow::accept()
{
    int option = -1;
    for (int i = 0; i < kNoFilterOption; ++i)
        if (options_[static_cast<std::size_t>(i)]->isChecked()) option = i;
    acceptComparisonStar(state_, toLocal(nameBox_->text()), toLocal(magnitudeBox_->text()), option,
                         toLocal(codeBox_->text()));
    if (accepted_) accepted_();
    close();
}

}  // namespace lv
