#include "ui/photometry/position_set_window.h"

#include <QGuiApplication>
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

}  // namespace lv
