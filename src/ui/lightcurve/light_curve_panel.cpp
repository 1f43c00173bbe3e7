#include "ui/lightcurve/light_curve_panel.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "app/current_folder.h"
#include "app/image_commands.h"
#include "lightcurve/mag_est.h"
#include "lightcurve/night_rows.h"
#include "ui/file_dialog.h"
#include "ui/lightcurve/light_curve_window.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

LightCurvePanel::LightCurvePanel(Session& session, Platform& platform, PanelHost& host, QObject* parent)
    : Panel(parent), session_(session), platform_(platform), host_(host)
{
}

void LightCurvePanel::buildMenus(QMenuBar* bar)
{
    // The item belongs to the Photometry menu, which the photometry panel made.
    QMenu* photometry = bar->findChild<QMenu*>("photometry_menu");
    if (!photometry) return;
    QAction* item = namedItem(photometry, "photometry_menu_light_curve", "Light Curve");
    connect(item, &QAction::triggered, this, [this] {
        host_.openFileDialog(FileDialogMode::LightCurveOrAutomatic, "Photometry data (mag_est.txt) ",
                             [this](FileDialog& dialog, const std::string& path) {
                                 dialog.close();
                                 openLightCurve(path);
                             });
    });
}

void LightCurvePanel::openLightCurve(const std::string& chosen)
{
    // No file chosen: mag_est.txt in the current folder.
    const QFileInfo info(fromLocal(chosen));
    const std::string path = chosen.empty() || info.isDir() || chosen.back() == '/' || chosen.back() == '\\'
                                 ? inCurrentFolder(session_, kMagEstName)
                                 : chosen;
    LightCurveTable table;
    const MagEstRead r = readMagEst(path, table);
    if (!r.opened) {
        platform_.error(r.error);
        return;
    }
    // A frame or another text chosen by mistake is no light curve; the window
    // that is open stays as it is.
    if (!readsAsPhotometryData(table)) {
        platform_.error(notPhotometryDataMessage(path));
        return;
    }
    if (r.truncated) platform_.message(path + ": more than 3000 data lines; the first 3000 were read");
    // The night's table beside it gives the error bars and the saturated points.
    attachNightTable(table);
    reopen(window_, [&] {
        return new LightCurveWindow(
            session_, platform_, std::move(table),
            [this](const std::string& frame) {
                openImage(session_, {frame, OpenWay::Command}, platform_);
                host_.showStatistics();
                host_.showLevels();
                host_.displayImage(session_.state.displayScale);
                host_.sessionChanged();
            },
            [this] { host_.closePicture(); }, host_.hostWindow());
    });
    refresh();
}

LightCurveWindow* LightCurvePanel::window() const { return window_; }

void LightCurvePanel::refresh()
{
    // The comparison-star window's texts go to the report fields.
    ReportTexts& r = session_.photometry.reportTexts;
    if (!r.set) return;
    AppSettings& s = session_.settings;
    s.starName = r.starName;
    s.comparisonMagnitude = r.comparisonMagnitude;
    s.comparisonColour = r.colour;
    s.observerCode = r.observerCode;
    if (window_) window_->setReportTexts(r.starName, r.comparisonMagnitude, r.colour, r.observerCode);
    r.set = false;
}

void LightCurvePanel::recordWindowPositions()
{
    if (window_) session_.settings.window(SettingsWindow::LightCurve) = windowPosition(window_);
}

}  // namespace lv
