// The main window's photometry part: the Photometry menu, the position,
// aperture and magnitude fields, the markers on the picture and the
// "Photometry" button.
#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

#include "core/conventions.h"
#include "display/image_window.h"
#include "photometry/comparison_star_window.h"
#include "photometry/photometry_run.h"
#include "photometry/position_set_window.h"
#include "photometry/positions.h"
#include "photometry/sky_area_window.h"
#include "ui/main_window.h"
#include "ui/platform/qt_support.h"

namespace lv {

namespace {

QAction* choice(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(true);
    return a;
}

QMenu* submenu(QMenu* menu, const char* name, const QString& caption)
{
    QMenu* m = menu->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
}

void tick(std::initializer_list<QAction*> group, QAction* chosen)
{
    for (QAction* a : group) a->setChecked(a == chosen);
}

// A label that reports clicks ("Search span").
class ClickLabel : public QLabel {
public:
    ClickLabel(const QString& text, std::function<void()> onClick) : QLabel(text), onClick_(std::move(onClick)) {}

protected:
    void mousePressEvent(QMouseEvent*) override { onClick_(); }

private:
    std::function<void()> onClick_;
};

}  // namespace

void MainWindow::buildPhotometryMenu(QMenu* menu)
{
    PhotometryState& ph = session_.photometry;

    QMenu* digit = submenu(menu, "photometry_menu_digit", "Digit of decimal point");
    actDigit2_ = choice(digit, "photometry_menu_digit2", "2digit");
    actDigit3_ = choice(digit, "photometry_menu_digit3", "3digit");
    auto setDigits = [this, &ph](int d) {
        ph.settings.digits = d;
        session_.settings.digits = d;
        tick({actDigit2_, actDigit3_}, d == 2 ? actDigit2_ : actDigit3_);
    };
    connect(actDigit2_, &QAction::triggered, this, [=] { setDigits(2); });
    connect(actDigit3_, &QAction::triggered, this, [=] { setDigits(3); });

    QMenu* position = submenu(menu, "photometry_menu_position", "Position");
    actFixed_ = choice(position, "photometry_menu_position_fix", "Fixed position");
    actPeak_ = choice(position, "photometry_menu_position_peak", "Peak cast");
    actMove_ = choice(position, "photometry_menu_position_move", "Peak cast & Move position");
    auto setMode = [this, &ph](PositionMode m, QAction* a) {
        ph.settings.positionMode = m;
        tick({actFixed_, actPeak_, actMove_}, a);
        modeField_->setText(fromLocal(positionModeText(m)));
    };
    connect(actFixed_, &QAction::triggered, this, [=, this] { setMode(PositionMode::Fixed, actFixed_); });
    connect(actPeak_, &QAction::triggered, this, [=, this] { setMode(PositionMode::PeakCast, actPeak_); });
    connect(actMove_, &QAction::triggered, this, [=, this] { setMode(PositionMode::PeakCastAndMove, actMove_); });

    QMenu* aperture = submenu(menu, "photometry_menu_aperture", "Aperture");
    QMenu* shape = submenu(aperture, "photometry_menu_aperture_shape", "Shape");
    actCircle_ = choice(shape, "photometry_menu_aperture_shape_circle", "Circle");
    actSquare_ = choice(shape, "photometry_menu_aperture_shape_square", "Square");
    connect(actCircle_, &QAction::triggered, this, [this] { setApertureShape(0); });
    connect(actSquare_, &QAction::triggered, this, [this] { setApertureShape(1); });
    actSize_ = aperture->addAction("Size");
    actSize_->setObjectName("photometry_menu_aperture_size");
    connect(actSize_, &QAction::triggered, this, [this] {
        if (skyAreaWindow_) skyAreaWindow_->close();
        auto* w = new SkyAreaWindow(*this, this);
        skyAreaWindow_ = w;
        w->show();
    });

    QMenu* arithmetic = submenu(menu, "photometry_menu_int_real", "Integral");
    actInteger_ = choice(arithmetic, "photometry_menu_integer", "Integer");
    actReal_ = choice(arithmetic, "photometry_menu_real", "Real");
    connect(actInteger_, &QAction::triggered, this, [this, &ph] {
        ph.settings.pixelArithmetic = PixelArithmetic::Integer;
        tick({actInteger_, actReal_}, actInteger_);
    });
    connect(actReal_, &QAction::triggered, this, [this, &ph] {
        ph.settings.pixelArithmetic = PixelArithmetic::Real;
        tick({actInteger_, actReal_}, actReal_);
    });

    QMenu* sky = submenu(menu, "photometry_menu_sky", "Sky");
    actSkyAperture_ = choice(sky, "photometry_menu_sky_aperture", "Aperture");
    actSkyMedian_ = choice(sky, "photometry_menu_sky_median", "Median");
    connect(actSkyAperture_, &QAction::triggered, this, [this] { setSkyMode(0); });
    connect(actSkyMedian_, &QAction::triggered, this, [this] { setSkyMode(1); });

    QMenu* zone = submenu(menu, "photometry_menu_jst_utc", "Time Zone");
    actZone0_ = choice(zone, "photometry_menu_jst_utc_default", "+0 hour");
    actZone9_ = choice(zone, "photometry_menu_jst_utc_plus9", "+9 hour");
    auto setZone = [this, &ph](int hours) {
        ph.settings.timeZoneHours = hours;
        session_.settings.timeZoneHours = hours;
        tick({actZone0_, actZone9_}, hours == 0 ? actZone0_ : actZone9_);
    };
    connect(actZone0_, &QAction::triggered, this, [=] { setZone(0); });
    connect(actZone9_, &QAction::triggered, this, [=] { setZone(9); });

    QAction* comp = menu->addAction("Comparison Star Magnitude");
    comp->setObjectName("photometry_menu_comp_star");
    connect(comp, &QAction::triggered, this, [this] {
        if (comparisonStarWindow_) comparisonStarWindow_->close();
        auto* w = new ComparisonStarWindow(session_, this);
        comparisonStarWindow_ = w;
        w->show();
    });
}

QWidget* MainWindow::buildPhotometryControls()
{
    auto* box = new QGroupBox;
    auto* grid = new QGridLayout(box);
    auto* positionHeading = new QLabel("Position");
    positionHeading->setObjectName("Label10");
    grid->addWidget(positionHeading, 0, 1, 1, 2);
    static const char* const kLabels[] = {"", "Comparison", "SKY for comp.", "Variable", "SKY for var.", "Check star", "SKY for chk."};
    for (int s = 1; s <= kSlots; ++s) {
        auto* l = new QLabel(kLabels[s]);
        l->setObjectName(QString("Label%1").arg(10 + s));
        auto* x = new QLineEdit;
        x->setObjectName(QString("Text%1").arg(18 + 2 * s));
        auto* y = new QLineEdit;
        y->setObjectName(QString("Text%1").arg(19 + 2 * s));
        positionLabels_[static_cast<std::size_t>(s)] = l;
        positionX_[static_cast<std::size_t>(s)] = x;
        positionY_[static_cast<std::size_t>(s)] = y;
        grid->addWidget(l, s, 0);
        grid->addWidget(x, s, 1);
        grid->addWidget(y, s, 2);
        // The measurement reads whatever the fields hold.
        connect(x, &QLineEdit::textEdited, this, [this, s](const QString& t) {
            session_.photometry.fieldX[static_cast<std::size_t>(s)] = toLocal(t);
        });
        connect(y, &QLineEdit::textEdited, this, [this, s](const QString& t) {
            session_.photometry.fieldY[static_cast<std::size_t>(s)] = toLocal(t);
        });
    }

    auto* apertureHeading = new QLabel("Aperture");
    apertureHeading->setObjectName("Label17");
    grid->addWidget(apertureHeading, 0, 4, 1, 2);
    auto magnitude = [&](int row, const char* labelName, const char* caption, const char* name) {
        auto* l = new QLabel(caption);
        l->setObjectName(labelName);
        auto* t = new QLineEdit;
        t->setObjectName(name);
        t->setReadOnly(true);
        grid->addWidget(l, row, 4);
        grid->addWidget(t, row, 5);
        return t;
    };
    comparisonMagnitude_ = magnitude(1, "Label18", "Comparison", "Text32");
    variableMagnitude_ = magnitude(3, "Label19", "Variable", "Text33");
    checkMagnitude_ = magnitude(5, "Label20", "Check star", "Text34");

    apertureField_ = new QLineEdit;
    apertureField_->setObjectName("Text35");
    apertureField_->setReadOnly(true);
    modeField_ = new QLineEdit;
    modeField_->setObjectName("Text36");
    modeField_->setReadOnly(true);
    grid->addWidget(apertureField_, 7, 1, 1, 2);
    grid->addWidget(modeField_, 7, 4, 1, 2);

    auto* spanLabel = new ClickLabel("Search span", [this] {
        if (session_.photometry.settings.skyMode != SkyMode::Median) return;
        session_.photometry.searchSpansShown = !session_.photometry.searchSpansShown;
        drawSearchSpans();
    });
    spanLabel->setObjectName("Label21");
    searchSpanField_ = new QLineEdit;
    searchSpanField_->setObjectName("Text37");
    grid->addWidget(spanLabel, 8, 0);
    grid->addWidget(searchSpanField_, 8, 1);
    connect(searchSpanField_, &QLineEdit::textChanged, this, [this](const QString& t) {
        session_.photometry.settings.searchSpan = toInt32Saturated(leadingNumber(toLocal(t)));
    });

    auto* measureButton = new QPushButton("Photometry");
    measureButton->setObjectName("Command6");
    crossButton_ = new QPushButton("Cross on");
    crossButton_->setObjectName("Command7");
    grid->addWidget(crossButton_, 8, 2);
    grid->addWidget(measureButton, 8, 4, 1, 2);
    connect(measureButton, &QPushButton::clicked, this, &MainWindow::measure);
    connect(crossButton_, &QPushButton::clicked, this, &MainWindow::toggleMarkers);
    return box;
}

void MainWindow::resetPhotometry()
{
    PhotometryState& ph = session_.photometry;
    const int digits = session_.settings.digits == 2 ? 2 : 3;
    const int zone = session_.settings.timeZoneHours == 0 ? 0 : 9;
    ph = PhotometryState{};
    ph.settings.digits = digits;
    ph.settings.timeZoneHours = zone;
    tick({actDigit2_, actDigit3_}, digits == 2 ? actDigit2_ : actDigit3_);
    tick({actZone0_, actZone9_}, zone == 0 ? actZone0_ : actZone9_);
    tick({actFixed_, actPeak_, actMove_}, actMove_);
    tick({actCircle_, actSquare_}, actCircle_);
    tick({actInteger_, actReal_}, actInteger_);
    tick({actSkyAperture_, actSkyMedian_}, actSkyMedian_);
    searchSpanField_->setText(fromLocal(numberText(ph.settings.searchSpan)));
    crossButton_->setText("Cross on");
    showPhotometryFields();
}

void MainWindow::showPhotometryFields()
{
    const PhotometryState& ph = session_.photometry;
    for (int s = 1; s <= kSlots; ++s) {
        positionX_[static_cast<std::size_t>(s)]->setText(fromLocal(ph.fieldX[static_cast<std::size_t>(s)]));
        positionY_[static_cast<std::size_t>(s)]->setText(fromLocal(ph.fieldY[static_cast<std::size_t>(s)]));
    }
    comparisonMagnitude_->setText(fromLocal(ph.comparisonMagnitude));
    variableMagnitude_->setText(fromLocal(ph.variableMagnitude));
    checkMagnitude_->setText(fromLocal(ph.checkMagnitude));
    apertureField_->setText(fromLocal(apertureFieldText(ph.settings)));
    modeField_->setText(fromLocal(positionModeText(ph.settings.positionMode)));
    actSize_->setText(ph.settings.apertureShape == ApertureShape::Circle ? "Size (radius)" : "Size (square)");
    showSkyFields();
}

void MainWindow::showSkyFields()
{
    // The sky positions matter only while the sky is measured at them.
    const bool visible = session_.photometry.settings.skyMode == SkyMode::Aperture;
    for (int s = 2; s <= kSlots; s += 2) {
        positionLabels_[static_cast<std::size_t>(s)]->setVisible(visible);
        positionX_[static_cast<std::size_t>(s)]->setVisible(visible);
        positionY_[static_cast<std::size_t>(s)]->setVisible(visible);
    }
}

void MainWindow::setSkyMode(int mode)
{
    PhotometryState& ph = session_.photometry;
    if (session_.image.loaded()) {
        ph.markersShown = false;
        crossButton_->setText("Cross on");
        drawMarkers();
    }
    ph.settings.skyMode = mode == 0 ? SkyMode::Aperture : SkyMode::Median;
    tick({actSkyAperture_, actSkyMedian_}, mode == 0 ? actSkyAperture_ : actSkyMedian_);
    showSkyFields();
}

void MainWindow::setApertureShape(int shape)
{
    PhotometryState& ph = session_.photometry;
    ph.settings.apertureShape = shape == 0 ? ApertureShape::Circle : ApertureShape::Square;
    tick({actCircle_, actSquare_}, shape == 0 ? actCircle_ : actSquare_);
    actSize_->setText(shape == 0 ? "Size (radius)" : "Size (square)");
    // A circle is always measured against the median sky around the star.
    if (shape == 0) setSkyMode(1);
    apertureField_->setText(fromLocal(apertureFieldText(ph.settings)));
}

void MainWindow::paintPoints(const std::vector<MarkerPoint>& points, bool erase)
{
    if (!imageWindow_) return;
    PictureView* view = imageWindow_->view();
    for (const MarkerPoint& p : points)
        view->setPoint(p.x, p.y, erase ? restoreDisplayPixel(session_.image, session_.state, p.x, p.y) : p.colour);
}

void MainWindow::drawMarkers()
{
    const PhotometryState& ph = session_.photometry;
    const bool erase = !ph.markersShown;
    paintPoints(markerPoints(session_.image, ph, session_.state.displayScale, erase), erase);
}

void MainWindow::drawSearchSpans()
{
    const PhotometryState& ph = session_.photometry;
    const bool erase = !ph.searchSpansShown;
    paintPoints(searchSpanPoints(session_.image, ph, session_.state.displayScale, erase), erase);
}

void MainWindow::turnMarkersOff()
{
    PhotometryState& ph = session_.photometry;
    if (!ph.markersShown) return;
    ph.markersShown = false;
    crossButton_->setText("Cross on");
    drawMarkers();
}

void MainWindow::toggleMarkers()
{
    if (session_.image.fileName.empty()) return;
    PhotometryState& ph = session_.photometry;
    ph.markersShown = !ph.markersShown;
    crossButton_->setText(ph.markersShown ? "Cross off" : "Cross on");
    drawMarkers();
}

void MainWindow::measure()
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    turnMarkersOff();
    runPhotometry(session_.image, session_.photometry, session_.state.beepOn, platform_);
    showPhotometryFields();
}

void MainWindow::openPositionSet(QPoint globalPos)
{
    PhotometryState& ph = session_.photometry;
    ph.clickPosition = {toInt32Saturated(leadingNumber(toLocal(cursorX_->text()))),
                        toInt32Saturated(leadingNumber(toLocal(cursorY_->text())))};
    if (positionSetWindow_) positionSetWindow_->close();
    auto* w = new PositionSetWindow(*this, ph.clickPosition, cursorX_->text(), cursorY_->text(), globalPos, this);
    positionSetWindow_ = w;
    w->show();
}

}  // namespace lv
