#include "ui/processing/processing_panel.h"

#include <QAction>
#include <QDir>
#include <QMenu>

#include "app/current_folder.h"
#include "app/image_commands.h"
#include "processing/corrections.h"
#include "processing/filters.h"
#include "ui/display/qt_job_progress.h"
#include "ui/processing/calculation_window.h"
#include "ui/processing/composite_windows.h"
#include "ui/file_dialog.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

ProcessingPanel::ProcessingPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent)
    : Panel(parent), session_(session), platform_(platform), host_(host)
{
}

void ProcessingPanel::buildUtilityItems(QMenu* utility)
{
    connect(namedItem(utility, "utility_menu_dark_subtract", "Dark Subtract"), &QAction::triggered, this, [this] {
        host_.openFileDialog(FileDialogMode::DarkSubtract, "Dark Subtract",
                             [this](FileDialog& d, const std::string& p) { calibrate(CalibrationKind::Dark, d, p); });
    });
    connect(namedItem(utility, "utility_menu_flat_field", "Flat Field"), &QAction::triggered, this, [this] {
        host_.openFileDialog(FileDialogMode::FlatField, "Flat Field",
                             [this](FileDialog& d, const std::string& p) { calibrate(CalibrationKind::Flat, d, p); });
    });
    undoItem_ = namedItem(utility, "utility_menu_undo", "UnDo");
    connect(undoItem_, &QAction::triggered, this, &ProcessingPanel::undo);

    QMenu* continuous = namedSubmenu(utility, "utility_menu_continuous", "Continuous processing");
    connect(namedItem(continuous, "utility_menu_continuous_dark", "Dark Subtract"), &QAction::triggered, this,
            [this] { chooseContinuousFile(CalibrationKind::Dark); });
    connect(namedItem(continuous, "utility_menu_continuous_flat", "Flat Field"), &QAction::triggered, this,
            [this] { chooseContinuousFile(CalibrationKind::Flat); });
    connect(namedItem(continuous, "utility_menu_continuous_composite", "Composite"), &QAction::triggered, this, [this] {
        reopen(compositeWindow_, [this] {
            return new CompositeWindow(session_, platform_, [this](const auto& job) { runFolderJob(job); },
                                       host_.hostWindow());
        });
    });
    connect(namedItem(continuous, "utility_menu_continuous_bzero", "BZERO,BSCALE Change"), &QAction::triggered, this,
            [this] {
                reopen(bzeroWindow_, [this] {
                    return new BzeroWindow(session_, platform_, [this](const auto& job) { runFolderJob(job); },
                                           host_.hostWindow());
                });
            });

    QMenu* noise = namedSubmenu(utility, "utility_menu_noize", "Noise filter");
    const std::pair<const char*, const char*> filters[] = {
        {"utility_menu_noize_filter", "Remove Hot/Cool Pixel"}, {"utility_menu_noize_3point", "3 point average"},
        {"utility_menu_noize_5point", "5 point average"}, {"utility_menu_noize_gra_ave", "shade off (average)"},
        {"utility_menu_noize_gra_median", "shade off (median)"}};
    for (int i = 0; i < 5; ++i) {
        const auto filter = static_cast<NoiseFilter>(i);
        connect(namedItem(noise, filters[i].first, filters[i].second), &QAction::triggered, this, [this, filter] {
            // The change shows at the next redraw.
            runNoiseFilter(filter, session_.image, session_.processing.undo, platform_);
            host_.sessionChanged();
        });
    }
    connect(namedItem(noise, "utility_menu_noize_5th_function", "5th function approximation"), &QAction::triggered,
            this, [this] {
                fifthFunctionApproximation(session_.image, session_.processing.undo, session_.processing.fit,
                                           session_.state.lineRow, platform_);
                host_.sessionChanged();
            });
    connect(namedItem(utility, "utility_menu_limb", "Limb Darkening Correction"), &QAction::triggered, this, [this] {
        if (!limbDarkening(session_.image, session_.processing.undo, session_.processing.fit, session_.state.lineRow,
                           platform_))
            return;
        finishCorrection();
        host_.openZoomWindow();
    });
    connect(namedItem(utility, "utility_menu_bow", "Bow correction"), &QAction::triggered, this, [this] {
        // (The busy pointer shows once the question is answered.)
        const std::string path = inCurrentFolder(session_, kBowFileName);
        if (bowCorrection(session_.image, session_.processing.undo, path, platform_)) finishCorrection();
    });
    connect(namedItem(utility, "utility_menu_calculation", "Calculation"), &QAction::triggered, this, [this] {
        reopen(calculationWindow_, [this] {
            return new CalculationWindow(
                session_, platform_, [this] { finishCorrection(); },
                [this](const std::function<void()>& job) { host_.runGuarded(job); }, host_.hostWindow());
        });
    });
}

void ProcessingPanel::finishCorrection()
{
    showChangedImage();
    if (session_.state.beepOn) platform_.beep();
    host_.sessionChanged();
}

CompositeWindow* ProcessingPanel::compositeWindow() const { return compositeWindow_; }
BzeroWindow* ProcessingPanel::bzeroWindow() const { return bzeroWindow_; }
CalculationWindow* ProcessingPanel::calculationWindow() const { return calculationWindow_; }


void ProcessingPanel::startUp()
{
    session_.processing.undo.setAvailable(false);
    refresh();
}

void ProcessingPanel::refresh()
{
    if (undoItem_) undoItem_->setEnabled(session_.processing.undo.available() && !host_.jobRunning());
}

void ProcessingPanel::recordWindowPositions()
{
    if (calculationWindow_) session_.settings.window(SettingsWindow::Calculation) = windowPosition(calculationWindow_);
    if (compositeWindow_) session_.settings.window(SettingsWindow::Composite) = windowPosition(compositeWindow_);
    if (bzeroWindow_) session_.settings.window(SettingsWindow::BzeroBscale) = windowPosition(bzeroWindow_);
}

void ProcessingPanel::showChangedImage()
{
    // A processing command ends with the "Image" command and the statistics line.
    session_.state.statistics = statisticsLine(session_.image);
    host_.displayImage(session_.state.displayScale);
    host_.showStatistics();
}

void ProcessingPanel::calibrate(CalibrationKind kind, FileDialog& dialog, const std::string& path)
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    SingleCalibration settings;
    settings.kind = kind;
    settings.path = path;
    settings.minusUsed = kind == CalibrationKind::Dark && dialog.minusUsed();
    settings.bzeroSign = session_.state.bzeroSign;
    ProcessingState& p = session_.processing;
    const bool changed = calibrateImage(session_.image, p.undo, p.calibration, settings, platform_);
    dialog.close();
    if (changed)
        showChangedImage();
    else
        host_.displayImage(session_.state.displayScale);
    host_.sessionChanged();
}

void ProcessingPanel::undo()
{
    ProcessingState& p = session_.processing;
    if (!p.undo.available() || p.undo.empty()) return;
    {
        BusyPointer busy(platform_);
        p.undo.restore(session_.image);
    }
    showChangedImage();
    host_.sessionChanged();
}

void ProcessingPanel::chooseContinuousFile(CalibrationKind kind)
{
    const bool dark = kind == CalibrationKind::Dark;
    host_.openFileDialog(dark ? FileDialogMode::ContinuousDark : FileDialogMode::ContinuousFlat,
                         dark ? "Setting of DARK file " : "Setting of FLAT file ",
                         [this, kind, dark](FileDialog& dialog, const std::string& path) {
                             (dark ? session_.processing.darkFilePath : session_.processing.flatFilePath) = path;
                             const FileDialogMode mode = dialog.mode();
                             dialog.close();
                             host_.openFolderWindow(mode,
                                              dark ? "Setting of DARK processing file"
                                                   : "Setting of FLAT processing file",
                                              [this, kind](const FolderChoice&) { runContinuous(kind); });
                         });
}

void ProcessingPanel::runContinuous(CalibrationKind kind)
{
    ProcessingState& p = session_.processing;
    ContinuousCalibration settings;
    settings.kind = kind;
    settings.calibrationPath = kind == CalibrationKind::Dark ? p.darkFilePath : p.flatFilePath;
    runFolderJob([&] {
        QtJobProgress progress(host_.hostWindow());
        runContinuousCalibration(session_.image, session_.state, &session_.pixelPool, p.undo, p.calibration,
                                 p.queue, settings, progress, platform_);
    });
}

void ProcessingPanel::runFolderJob(const std::function<void()>& job)
{
    const FrameInView before = frameInView(session_);
    const bool shown = host_.imageWindow() != nullptr;
    if (!host_.runGuarded(job)) return;
    // The job read its frames into the current image: the frame that was in
    // view comes back, so that what is shown is what is measured.
    if (readFrameAgain(session_, before, platform_)) {
        host_.showLevels();
        if (shown) host_.displayImage(session_.state.displayScale);
    }
    host_.showStatistics();
    host_.sessionChanged();
}

}  // namespace lv
