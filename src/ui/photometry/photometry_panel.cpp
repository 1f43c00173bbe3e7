#include "ui/photometry/photometry_panel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>

#include <functional>

#include "app/image_commands.h"
#include "core/conventions.h"
#include "display/grey_mapping.h"
#include "photometry/observation_times.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"
#include "ui/display/image_window.h"
#include "ui/photometry/comparison_star_window.h"
#include "ui/photometry/frame_choice_window.h"
#include "ui/photometry/position_set_window.h"
#include "ui/photometry/sky_area_window.h"
#include "ui/photometry/target_site_window.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {

template <std::size_t N>
void tickIndex(const std::array<QAction*, N>& group, std::size_t chosen)
{
    for (std::size_t i = 0; i < N; ++i) group[i]->setChecked(i == chosen);
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

PhotometryPanel::PhotometryPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent)
    : Panel(parent), session_(session), platform_(platform), host_(host)
{
}

void PhotometryPanel::buildMenus(QMenuBar* bar)
{
    QMenu* menu = namedMenu(bar, "photometry_menu", "Photometry");

    QMenu* digit = namedSubmenu(menu, "photometry_menu_digit", "Digit of decimal point");
    digitItems_ = {namedItem(digit, "photometry_menu_digit2", "2digit", true),
                   namedItem(digit, "photometry_menu_digit3", "3digit", true)};
    connect(digitItems_[0], &QAction::triggered, this, [this] { setDigits(2); });
    connect(digitItems_[1], &QAction::triggered, this, [this] { setDigits(3); });

    QMenu* position = namedSubmenu(menu, "photometry_menu_position", "Position");
    positionItems_ = {namedItem(position, "photometry_menu_position_fix", "Fixed position", true),
                      namedItem(position, "photometry_menu_position_peak", "Peak cast", true),
                      namedItem(position, "photometry_menu_position_move", "Peak cast & Move position", true)};
    for (int m = 0; m < 3; ++m)
        connect(positionItems_[static_cast<std::size_t>(m)], &QAction::triggered, this,
                [this, m] { setPositionMode(m); });

    QMenu* aperture = namedSubmenu(menu, "photometry_menu_aperture", "Aperture");
    QMenu* shape = namedSubmenu(aperture, "photometry_menu_aperture_shape", "Shape");
    shapeItems_ = {namedItem(shape, "photometry_menu_aperture_shape_circle", "Circle", true),
                   namedItem(shape, "photometry_menu_aperture_shape_square", "Square", true)};
    connect(shapeItems_[0], &QAction::triggered, this, [this] { setApertureShape(0); });
    connect(shapeItems_[1], &QAction::triggered, this, [this] { setApertureShape(1); });
    sizeItem_ = namedItem(aperture, "photometry_menu_aperture_size", "Size");
    connect(sizeItem_, &QAction::triggered, this, [this] {
        reopen(skyAreaWindow_, [this] {
            return new SkyAreaWindow(session_, platform_, [this] { turnMarkersOff(); }, [this] { showFields(); },
                                     host_.hostWindow());
        });
    });

    QMenu* arithmetic = namedSubmenu(menu, "photometry_menu_int_real", "Integral");
    arithmeticItems_ = {namedItem(arithmetic, "photometry_menu_integer", "Integer", true),
                        namedItem(arithmetic, "photometry_menu_real", "Real", true)};
    connect(arithmeticItems_[0], &QAction::triggered, this, [this] { setArithmetic(0); });
    connect(arithmeticItems_[1], &QAction::triggered, this, [this] { setArithmetic(1); });

    QMenu* sky = namedSubmenu(menu, "photometry_menu_sky", "Sky");
    skyItems_ = {namedItem(sky, "photometry_menu_sky_aperture", "Aperture", true),
                 namedItem(sky, "photometry_menu_sky_median", "Median", true)};
    connect(skyItems_[0], &QAction::triggered, this, [this] { setSkyMode(0); });
    connect(skyItems_[1], &QAction::triggered, this, [this] { setSkyMode(1); });

    QMenu* zone = namedSubmenu(menu, "photometry_menu_jst_utc", "Time Zone");
    zoneItems_ = {namedItem(zone, "photometry_menu_jst_utc_default", "+0 hour", true),
                  namedItem(zone, "photometry_menu_jst_utc_plus9", "+9 hour", true)};
    connect(zoneItems_[0], &QAction::triggered, this, [this] { setTimeZone(0); });
    connect(zoneItems_[1], &QAction::triggered, this, [this] { setTimeZone(9); });

    // In the menu's order: the comparison star, "Automatic", then "Light Curve"
    // (which the light-curve panel adds).
    QAction* comp = namedItem(menu, "photometry_menu_comp_star", "Comparison Star Magnitude");
    connect(comp, &QAction::triggered, this, [this] {
        reopen(comparisonStarWindow_, [this] {
            return new ComparisonStarWindow(session_, host_.hostWindow(), [this] { host_.sessionChanged(); });
        });
    });
    QAction* site = namedItem(menu, "photometry_menu_target_site", "Target and Site");
    connect(site, &QAction::triggered, this, [this] {
        reopen(targetSiteWindow_, [this] {
            return new TargetSiteWindow(session_, platform_, host_.hostWindow(), [this] { host_.sessionChanged(); });
        });
    });
    connect(namedItem(menu, "photometry_menu_automatic", "Automatic"), &QAction::triggered, this,
            &PhotometryPanel::chooseAutomaticFolder);
}

QWidget* PhotometryPanel::buildControls()
{
    auto* box = new QGroupBox;
    auto* grid = new QGridLayout(box);
    grid->addWidget(namedLabel("Label10", "Position"), 0, 1, 1, 2);
    static const char* const kLabels[] = {"", "Comparison", "SKY for comp.", "Variable", "SKY for var.", "Check star", "SKY for chk."};
    for (int s = 1; s <= kSlots; ++s) {
        const auto i = static_cast<std::size_t>(s);
        positionLabels_[i] = namedLabel(qPrintable(QString("Label%1").arg(10 + s)), kLabels[s]);
        positionX_[i] = namedLineEdit(qPrintable(QString("Text%1").arg(18 + 2 * s)));
        positionY_[i] = namedLineEdit(qPrintable(QString("Text%1").arg(19 + 2 * s)));
        grid->addWidget(positionLabels_[i], s, 0);
        grid->addWidget(positionX_[i], s, 1);
        grid->addWidget(positionY_[i], s, 2);
        // The measurement reads whatever the fields hold.
        connect(positionX_[i], &QLineEdit::textEdited, this,
                [this, i](const QString& t) { session_.photometry.fieldX[i] = toLocal(t); });
        connect(positionY_[i], &QLineEdit::textEdited, this,
                [this, i](const QString& t) { session_.photometry.fieldY[i] = toLocal(t); });
        // A typed position, once confirmed, is what the peak search starts from.
        for (QLineEdit* field : {positionX_[i], positionY_[i]})
            connect(field, &QLineEdit::editingFinished, this, [this, s, field] {
                if (!field->isModified()) return;
                field->setModified(false);
                turnMarkersOff();
                typePosition(session_.photometry, s);
                showFields();
            });
    }

    grid->addWidget(namedLabel("Label17", "Aperture"), 0, 4, 1, 2);
    auto magnitude = [&](int row, const char* labelName, const char* caption, const char* name) {
        QLineEdit* t = namedLineEdit(name, {}, nullptr, true);
        grid->addWidget(namedLabel(labelName, caption), row, 4);
        grid->addWidget(t, row, 5);
        return t;
    };
    comparisonMagnitude_ = magnitude(1, "Label18", "Comparison", "Text32");
    variableMagnitude_ = magnitude(3, "Label19", "Variable", "Text33");
    checkMagnitude_ = magnitude(5, "Label20", "Check star", "Text34");
    // The error of each magnitude, as wide from the start as its text will be.
    const int rows[] = {1, 3, 5};
    for (std::size_t i = 0; i < errorLabels_.size(); ++i) {
        errorLabels_[i] = namedLabel(qPrintable(QString("Label%1").arg(30 + static_cast<int>(i))), {});
        errorLabels_[i]->setMinimumWidth(errorLabels_[i]->fontMetrics().horizontalAdvance(QString::fromUtf8("\u00B1 0.0000")) + 4);
        grid->addWidget(errorLabels_[i], rows[i], 6);
    }

    apertureField_ = namedLineEdit("Text35", {}, nullptr, true);
    modeField_ = namedLineEdit("Text36", {}, nullptr, true);
    grid->addWidget(apertureField_, 7, 1, 1, 2);
    grid->addWidget(modeField_, 7, 4, 1, 2);

    auto* spanLabel = new ClickLabel("Search span", [this] {
        if (session_.photometry.settings.skyMode != SkyMode::Median) return;
        session_.photometry.searchSpansShown = !session_.photometry.searchSpansShown;
        drawSearchSpans();
    });
    spanLabel->setObjectName("Label21");
    searchSpanField_ = namedLineEdit("Text37");
    grid->addWidget(spanLabel, 8, 0);
    grid->addWidget(searchSpanField_, 8, 1);
    connect(searchSpanField_, &QLineEdit::textChanged, this, [this](const QString& t) {
        session_.photometry.settings.searchSpan = toInt32Saturated(leadingNumber(toLocal(t)));
    });

    QPushButton* measureButton = namedButton("Command6", "Photometry");
    crossButton_ = namedButton("Command7", "Cross on");
    grid->addWidget(crossButton_, 8, 2);
    grid->addWidget(measureButton, 8, 4, 1, 2);
    automaticButton_ = namedButton("Command8", "Automatic");
    endAutoButton_ = namedButton("Command9", "End of Auto");
    grid->addWidget(automaticButton_, 9, 4);
    grid->addWidget(endAutoButton_, 9, 5);
    connect(automaticButton_, &QPushButton::clicked, this, &PhotometryPanel::runAutomatic);
    connect(endAutoButton_, &QPushButton::clicked, this, &PhotometryPanel::endAutomatic);
    connect(measureButton, &QPushButton::clicked, this, &PhotometryPanel::measure);
    connect(crossButton_, &QPushButton::clicked, this, &PhotometryPanel::toggleMarkers);
    return box;
}

void PhotometryPanel::startUp()
{
    PhotometryState& ph = session_.photometry;
    const int digits = session_.settings.digits == 2 ? 2 : 3;
    const int zone = session_.settings.timeZoneHours == 0 ? 0 : 9;
    ph = PhotometryState{};
    takeEnsemblePositions(ph, session_.settings.ensemblePositions);
    ph.settings.digits = digits;
    ph.settings.timeZoneHours = zone;
    tickIndex(digitItems_, digits == 2 ? 0 : 1);
    tickIndex(zoneItems_, zone == 0 ? 0 : 1);
    tickIndex(positionItems_, 2);
    tickIndex(shapeItems_, 0);
    tickIndex(arithmeticItems_, 0);
    tickIndex(skyItems_, 1);
    sizeItem_->setText("Size");
    searchSpanField_->setText(fromLocal(numberText(ph.settings.searchSpan)));
    session_.automatic.reset();
    showQuality(PhotometryOutcome{});
    showAutomaticButtons(false);
    showCrossOn();
    showFields();
}

void PhotometryPanel::setDigits(int digits)
{
    session_.photometry.settings.digits = digits;
    session_.settings.digits = digits;
    tickIndex(digitItems_, digits == 2 ? 0 : 1);
}

void PhotometryPanel::setTimeZone(int hours)
{
    session_.photometry.settings.timeZoneHours = hours;
    session_.settings.timeZoneHours = hours;
    tickIndex(zoneItems_, hours == 0 ? 0 : 1);
}

void PhotometryPanel::setPositionMode(int mode)
{
    const auto m = static_cast<PositionMode>(mode);
    session_.photometry.settings.positionMode = m;
    tickIndex(positionItems_, static_cast<std::size_t>(mode));
    modeField_->setText(fromLocal(positionModeText(m)));
}

void PhotometryPanel::setArithmetic(int arithmetic)
{
    session_.photometry.settings.pixelArithmetic = arithmetic == 0 ? PixelArithmetic::Integer : PixelArithmetic::Real;
    tickIndex(arithmeticItems_, arithmetic == 0 ? 0 : 1);
}

void PhotometryPanel::showFields()
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
    // (The "Size" item's caption changes only when a shape is chosen.)
    showSkyFields();
}

void PhotometryPanel::showSkyFields()
{
    // The sky positions matter only while the sky is measured at them.
    const bool visible = session_.photometry.settings.skyMode == SkyMode::Aperture;
    for (int s = 2; s <= kSlots; s += 2) {
        positionLabels_[static_cast<std::size_t>(s)]->setVisible(visible);
        positionX_[static_cast<std::size_t>(s)]->setVisible(visible);
        positionY_[static_cast<std::size_t>(s)]->setVisible(visible);
    }
}

void PhotometryPanel::showCrossOn() { crossButton_->setText("Cross on"); }

void PhotometryPanel::setSkyMode(int mode)
{
    PhotometryState& ph = session_.photometry;
    if (session_.image.loaded()) {
        ph.markersShown = false;
        showCrossOn();
        drawMarkers();
    }
    ph.settings.skyMode = mode == 0 ? SkyMode::Aperture : SkyMode::Median;
    tickIndex(skyItems_, mode == 0 ? 0 : 1);
    showSkyFields();
}

void PhotometryPanel::setApertureShape(int shape)
{
    PhotometryState& ph = session_.photometry;
    ph.settings.apertureShape = shape == 0 ? ApertureShape::Circle : ApertureShape::Square;
    tickIndex(shapeItems_, shape == 0 ? 0 : 1);
    sizeItem_->setText(shape == 0 ? "Size (radius)" : "Size (square)");
    // A circle is always measured against the median sky around the star.
    if (shape == 0) setSkyMode(1);
    apertureField_->setText(fromLocal(apertureFieldText(ph.settings)));
}

void PhotometryPanel::paintPoints(const std::vector<MarkerPoint>& points, bool erase)
{
    ImageWindow* window = host_.imageWindow();
    if (!window) return;
    PictureView* view = window->view();
    for (const MarkerPoint& p : points)
        view->setPoint(p.x, p.y, erase ? pictureColourAt(session_.image, session_.state, p.x, p.y) : p.colour);
}

void PhotometryPanel::drawMarkers()
{
    const PhotometryState& ph = session_.photometry;
    const bool erase = !ph.markersShown;
    paintPoints(markerPoints(session_.image, ph, session_.state.displayScale, erase), erase);
}

void PhotometryPanel::drawSearchSpans()
{
    const PhotometryState& ph = session_.photometry;
    const bool erase = !ph.searchSpansShown;
    paintPoints(searchSpanPoints(session_.image, ph, session_.state.displayScale, erase), erase);
}

void PhotometryPanel::pictureRedrawn()
{
    session_.photometry.markersShown = false;
    showCrossOn();
}

void PhotometryPanel::turnMarkersOff()
{
    PhotometryState& ph = session_.photometry;
    if (!ph.markersShown) return;
    ph.markersShown = false;
    showCrossOn();
    drawMarkers();
}

void PhotometryPanel::toggleMarkers()
{
    if (session_.image.fileName.empty()) return;
    PhotometryState& ph = session_.photometry;
    ph.markersShown = !ph.markersShown;
    crossButton_->setText(ph.markersShown ? "Cross off" : "Cross on");
    drawMarkers();
}

void PhotometryPanel::measure()
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    turnMarkersOff();
    takeTargetSite();
    const PhotometryOutcome out = runPhotometry(session_.image, session_.photometry, session_.state.beepOn, platform_);
    showFields();
    showQuality(out);
}

void PhotometryPanel::takeTargetSite() { session_.photometry.targetSite = targetSiteOf(session_.settings); }

void PhotometryPanel::showQuality(const PhotometryOutcome& out)
{
    QLineEdit* fields[] = {comparisonMagnitude_, variableMagnitude_, checkMagnitude_};
    for (std::size_t i = 0; i < errorLabels_.size(); ++i) {
        const auto& q = out.quality[i];
        errorLabels_[i]->setText(q ? QString::fromUtf8("\u00B1 ") + fromLocal(fixedText(q->magnitudeError, 4)) : QString());
        // The comparison of an ensemble says how many of its stars it is.
        const std::string ensemble =
            i == 0 && !out.ensemble.empty()
                ? "Ensemble of " + plainNumberText(static_cast<std::int64_t>(out.ensemble.size())) +
                      " comparison stars, " + plainNumberText(out.ensembleUsed()) + " used; "
                : std::string();
        errorLabels_[i]->setToolTip(
            q ? fromLocal(ensemble + "SNR " + fixedText(q->snr, 1) + ", peak " + plainNumberText(static_cast<std::int64_t>(q->peak)) +
                          " ADU" + (q->fwhm ? ", FWHM " + fixedText(*q->fwhm, 2) + " px" : std::string()))
              : QString());
        const bool saturated = q && q->saturated;
        fields[i]->setStyleSheet(saturated ? "color: #c00000;" : "");
        fields[i]->setToolTip(saturated ? fromLocal("Saturated: the peak " + plainNumberText(static_cast<std::int64_t>(q->peak)) +
                                                    " ADU reached the linearity limit of " +
                                                    plainNumberText(out.camera.linearity) + " ADU")
                                        : QString());
    }
}

bool PhotometryPanel::imageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers mods,
                                   QPoint globalPos)
{
    // Right clicks pick positions only while the spectrum line is off.
    if (session_.state.lineDisplay || button != Qt::RightButton || (mods & Qt::ShiftModifier)) return false;
    openPositionSet(px, py, globalPos);
    return true;
}

void PhotometryPanel::openPositionSet(int px, int py, QPoint globalPos)
{
    PhotometryState& ph = session_.photometry;
    ph.clickPosition = {px, py};
    // The window shows the position as the cursor fields read it.
    const QString xText = fromLocal(numberText(px));
    const QString yText = fromLocal(numberText(py));
    reopen(positionSetWindow_, [&] {
        return new PositionSetWindow(session_, ph.clickPosition, xText, yText, globalPos, [this] { turnMarkersOff(); },
                                     [this] { showFields(); }, host_.hostWindow());
    });
}

// ---- automatic photometry -----------------------------------------------------

FrameChoiceWindow* PhotometryPanel::frameChoiceWindow() const { return frameChoiceWindow_; }

void PhotometryPanel::recordWindowPositions()
{
    if (frameChoiceWindow_) session_.settings.window(SettingsWindow::AutomaticConfirm) = windowPosition(frameChoiceWindow_);
}

void PhotometryPanel::showAutomaticButtons(bool shown)
{
    automaticButton_->setVisible(shown);
    endAutoButton_->setVisible(shown);
}

void PhotometryPanel::chooseAutomaticFolder()
{
    host_.openFolderWindow(FileDialogMode::LightCurveOrAutomatic, "Folder setting for automatic photometry",
                           [this](const FolderChoice& c) { prepareAutomatic(c); });
}

void PhotometryPanel::prepareAutomatic(const FolderChoice& choice)
{
    showAutomaticButtons(true);
    host_.setFileAndUtilityEnabled(false);
    AutomaticSetup setup;
    setup.picturesNotChecked = choice.picturesNotChecked;
    setup.displayPictures = choice.displayPictures;
    setup.currentFolder = session_.state.currentFolder;
    AutomaticContext ctx = session_.automaticContext(platform_);
    const PrepareOutcome outcome = session_.automatic.prepare(ctx, setup);
    host_.showStatistics();
    switch (outcome) {
    case PrepareOutcome::NoFrame:
        return;  // the buttons stay until "End of Auto"
    case PrepareOutcome::FileFailed:
    case PrepareOutcome::LoadFailed:
        endAutomatic();
        return;
    case PrepareOutcome::Loaded:
        break;
    }
    // Levels never set (a range of 0) would draw the frame all white.
    if (session_.state.range == 0 && autoLevels(session_.image, session_.state)) host_.showLevels();
    host_.displayImage(session_.state.displayScale);
    host_.openZoomWindow();
    if (!platform_.askOkCancel(kProcedureMessage, kProcedureTitle)) endAutomatic();
}

void PhotometryPanel::endAutomatic()
{
    showAutomaticButtons(false);
    host_.setFileAndUtilityEnabled(true);
}

void PhotometryPanel::runAutomatic()
{
    if (following_) return;
    // A frame waiting for its answer keeps waiting: bring its window up.
    if (session_.automatic.waiting()) {
        if (frameChoiceWindow_) frameChoiceWindow_->raise();
        return;
    }
    AutomaticContext ctx = session_.automaticContext(platform_);
    turnMarkersOff();
    takeTargetSite();
    follow(session_.automatic.measure(ctx));
}

void PhotometryPanel::follow(AutomaticStatus status)
{
    following_ = true;
    // While frames follow each other, nothing else may change the image.
    host_.runGuarded([&] { carryOn(status); });
    following_ = false;
}

void PhotometryPanel::carryOn(AutomaticStatus status)
{
    AutomaticRun& run = session_.automatic;
    AutomaticContext ctx = session_.automaticContext(platform_);
    for (;;) {
        showFields();
        showQuality(run.outcome());
        host_.showStatistics();
        if (status == AutomaticStatus::FrameLoaded) {
            if (!run.setup().picturesNotChecked || run.setup().displayPictures)
                host_.displayImage(session_.state.displayScale);
            else
                host_.closeZoomWindow();
            // Let the windows repaint once per frame.
            QCoreApplication::processEvents();
            status = run.measure(ctx);
            continue;
        }
        if (status == AutomaticStatus::AwaitingChoice) {
            session_.photometry.markersShown = true;
            crossButton_->setText("Cross off");
            drawMarkers();
            auto* w = new FrameChoiceWindow(session_, fromLocal(session_.image.fileName),
                                            [this](FrameChoice c) { answerFrame(c); }, host_.hostWindow());
            frameChoiceWindow_ = w;
            fitCaption(w);
            w->show();
            break;
        }
        const AutomaticEnd end = run.end();
        if (end == AutomaticEnd::Finished || end == AutomaticEnd::WriteFailed) {
            endAutomatic();
            host_.closePicture();
        }
        break;
    }
}

void PhotometryPanel::answerFrame(FrameChoice choice)
{
    turnMarkersOff();
    AutomaticContext ctx = session_.automaticContext(platform_);
    follow(session_.automatic.choose(ctx, choice));
}

}  // namespace lv
