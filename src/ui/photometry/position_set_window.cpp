#include "ui/photometry/position_set_window.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

#include "photometry/positions.h"
#include "ui/widgets.h"

namespace lv {

PositionSetWindow::PositionSetWindow(Session& session, PixelPosition click, const QString& xText,
                                     const QString& yText, QPoint at, std::function<void()> markersOff,
                                     std::function<void()> fieldsChanged, QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      click_(click),
      markersOff_(std::move(markersOff)),
      fieldsChanged_(std::move(fieldsChanged))
{
    const bool apertureSky = session_.photometry.settings.skyMode == SkyMode::Aperture;
    setObjectName(apertureSky ? "Form5" : "Form10");
    setWindowTitle("PositionSet");
    setAttribute(Qt::WA_DeleteOnClose);

    QLabel* where = namedLabel("Label1", xText + " / " + yText, this);
    where->setAlignment(Qt::AlignCenter);

    struct Choice {
        const char* text;
        int slot;
    };
    const std::vector<Choice> choices =
        apertureSky ? std::vector<Choice>{{"Comparison", kComparison},
                                          {"Sky for comp.", kComparisonSky},
                                          {"Variable", kVariable},
                                          {"Sky for var.", kVariableSky},
                                          {"Check star", kCheck},
                                          {"Sky for check", kCheckSky}}
                    : std::vector<Choice>{{"Comparison", kComparison}, {"Variable", kVariable}, {"Check star", kCheck}};

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    int n = 0;
    for (const Choice& c : choices) {
        QPushButton* b = namedButton(qPrintable(QStringLiteral("Command%1").arg(++n)), c.text, this);
        layout->addWidget(b);
        const int slot = c.slot;
        connect(b, &QPushButton::clicked, this, [this, slot] { choose(slot); });
    }
    // The ensemble: the stars set so far and the next number.
    const PhotometryState& ph = session_.photometry;
    layout->addWidget(namedLabel("Label2", "Ensemble of comparison stars", this));
    ensembleList_ = new QComboBox(this);
    ensembleList_->setObjectName("Combo1");
    for (int number = 2; number <= std::min(ph.comparisonCount + 1, kMaxComparisons); ++number) {
        QString item = QStringLiteral("Comparison %1").arg(number);
        if (number <= ph.comparisonCount) {
            const PixelPosition p = ph.slotPositions[static_cast<std::size_t>(comparisonSlot(number))];
            item += QStringLiteral("  (%1, %2)").arg(p.x).arg(p.y);
        }
        ensembleList_->addItem(item, number);
    }
    ensembleList_->setCurrentIndex(ensembleList_->count() - 1);
    layout->addWidget(ensembleList_);
    auto* row = new QHBoxLayout;
    QPushButton* set = namedButton("Command11", "Set here", this);
    QPushButton* remove = namedButton("Command12", "Remove", this);
    row->addWidget(set);
    row->addWidget(remove);
    layout->addLayout(row);
    auto removable = [this, remove] {
        remove->setEnabled(ensembleList_->currentData().toInt() <= session_.photometry.comparisonCount);
    };
    removable();
    connect(ensembleList_, &QComboBox::currentIndexChanged, this, removable);
    connect(set, &QPushButton::clicked, this, [this] { chooseEnsemble(false); });
    connect(remove, &QPushButton::clicked, this, [this] { chooseEnsemble(true); });
    // At the click point, but whole on the screen.
    adjustSize();
    fitCaption(this);
    QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    if (const QScreen* screen = QGuiApplication::screenAt(at)) area = screen->availableGeometry();
    const QSize frame = size() + QSize(8, 32);  // room for the window manager's frame
    if (!area.isEmpty())
        at = QPoint(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - frame.width())),
                    std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - frame.height())));
    move(at);
    markPlaced(this);
}

void PositionSetWindow::choose(int slot)
{
    // The markers come off at the old positions before any field moves.
    if (markersOff_) markersOff_();
    if (slot % 2 == 1)
        setStarPosition(session_.photometry, slot, click_);
    else
        setSkyPosition(session_.photometry, slot, click_);
    if (fieldsChanged_) fieldsChanged_();
    close();
}

void PositionSetWindow::chooseEnsemble(bool remove)
{
    if (markersOff_) markersOff_();
    PhotometryState& ph = session_.photometry;
    const int number = ensembleList_->currentData().toInt();
    if (remove)
        removeEnsembleStar(ph, number);
    else
        setEnsembleStar(ph, number, click_);
    // Kept for the next start, as the other settings are.
    session_.settings.ensemblePositions = ensemblePositionsText(ph);
    if (fieldsChanged_) fieldsChanged_();
    close();
}

}  // namespace lv
