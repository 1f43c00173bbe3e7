#include "ui/spectrum/spectrum_panel.h"

#include <QAction>
#include <QMenu>

#include "app/image_commands.h"
#include "display/grey_mapping.h"
#include "ui/display/image_window.h"
#include "ui/platform/qt_support.h"
#include "ui/spectrum/high_order_window.h"
#include "ui/spectrum/spectrum_windows.h"
#include "ui/widgets.h"

namespace lv {

SpectrumPanel::SpectrumPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent)
    : Panel(parent), session_(session), platform_(platform), host_(host)
{
}

BinningWindow* SpectrumPanel::binningWindow() const { return binning_; }
CurveWindow* SpectrumPanel::curveWindow() const { return curve_; }
CurveFileWindow* SpectrumPanel::fileWindow() const { return file_; }
HighOrderWindow* SpectrumPanel::highOrderWindow() const { return highOrder_; }
HorizontalGraphWindow* SpectrumPanel::graphWindow() const { return graph_; }

void SpectrumPanel::buildUtilityItems(QMenu* utility)
{
    QMenu* binning = namedSubmenu(utility, "utility_menu_binning", "Binning");
    connect(namedItem(binning, "utility_menu_binning_make", "Execution"), &QAction::triggered, this,
            [this] { openTools(false); });
    connect(namedItem(binning, "utility_menu_binning_save", "Binnning Data Save"), &QAction::triggered, this,
            [this] { openTools(true); });
}

SpectrumTools SpectrumPanel::tools()
{
    SpectrumTools t;
    t.moveLine = [this](int row, bool buttons) { moveLine(row, buttons); };
    t.displayZones = [this] { displayZones(); };
    t.closeTools = [this] { closeTools(); };
    t.redrawCurve = [this] {
        if (curve_) curve_->showLine();
    };
    t.statisticsChanged = [this] { host_.showStatistics(); };
    t.binned = [this] {
        host_.showStatistics();
        host_.sessionChanged();  // "UnDo" is offered
        closeTools();
    };
    return t;
}

HighOrderWindow* SpectrumPanel::openHighOrderWindow()
{
    return reopen(highOrder_, [this] {
        return new HighOrderWindow(session_, platform_, [this] {
            if (!curve_) return;
            curve_->view()->showFit = true;
            curve_->view()->redraw();
            curve_->view()->showFit = false;
        }, host_.hostWindow());
    });
}

void SpectrumPanel::openTools(bool forSaving)
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    session_.state.lineDisplay = true;
    host_.closePicture();
    for (QWidget* w : std::initializer_list<QWidget*>{file_, curve_, binning_, highOrder_})
        if (w) w->close();
    openHighOrderWindow();
    // The image window draws the line at the middle row and makes it the current line.
    host_.showImageWithLine();
    auto openCurve = [this] {
        curve_ = new CurveWindow(session_, host_.hostWindow());
        fitCaption(curve_);
        curve_->show();
        curve_->view()->redraw();
    };
    if (forSaving) {
        file_ = new CurveFileWindow(session_, platform_, tools(), host_.hostWindow());
        fitCaption(file_);
        file_->show();
        openCurve();
    } else {
        openCurve();
        binning_ = new BinningWindow(session_, platform_, tools(), host_.hostWindow());
        fitCaption(binning_);
        binning_->show();
    }
    if (highOrder_) highOrder_->showLine();
}

void SpectrumPanel::paintRow(int row, bool green)
{
    ImageWindow* w = host_.imageWindow();
    const FitsImage& image = session_.image;
    if (!w || row < 0 || row >= image.naxis2) return;
    const int scale = displayScaleOf(session_.state.displayScale);
    PictureView* view = w->view();
    for (int x = 0; x < image.naxis1; ++x) {
        const int px = pictureCoordinate(x, scale);
        const int py = pictureCoordinate(row, scale);
        // The grey of the pixel itself (plane 0), as the picture draws it.
        const int g = image.isBlank(x, row) ? 0 : greyLevel(image.at(x, row), session_.state.background, session_.state.range);
        view->setPoint(px, py, green ? kMarkerGreen : greyRgb(g));
    }
}

void SpectrumPanel::moveLine(int row, bool fromButtons)
{
    paintRow(session_.state.lineRow, false);
    session_.state.lineRow = row;
    paintRow(row, true);
    if (curve_) curve_->showLine();
    if (fromButtons && highOrder_) highOrder_->showLine();
}

void SpectrumPanel::displayZones()
{
    ImageWindow* w = host_.imageWindow();
    if (!w || !binning_) return;
    const FitsImage& image = session_.image;
    PictureView* view = w->view();
    const RgbPicture& pic = view->picture();
    for (int py = 0; py < pic.height; ++py)
        for (int px = 0; px < pic.width; ++px) view->setPoint(px, py, pictureColourAt(image, session_.state, px, py));
    const int scale = displayScaleOf(session_.state.displayScale);
    for (const BinZone& z : binning_->zones())
        for (int row : {z.upper, z.lower})
            if (row >= 0 && row < image.naxis2)
                for (int x = 0; x < image.naxis1; ++x)
                    view->setPoint(pictureCoordinate(x, scale), pictureCoordinate(row, scale), rgb(200, 200, 200));
}

void SpectrumPanel::closeTools()
{
    host_.closePicture();
    for (QWidget* w : std::initializer_list<QWidget*>{curve_, binning_, file_, highOrder_})
        if (w) w->close();
}

bool SpectrumPanel::imageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint)
{
    if (button != Qt::LeftButton) return false;
    if (mods & Qt::ShiftModifier) {
        // The horizontal graph opens in any mode, with zoom 1 and level 0.
        HorizontalGraph g;
        g.centre = px;
        g.row = py;
        reopen(graph_, [&] { return new HorizontalGraphWindow(session_, g, host_.hostWindow()); });
        return true;
    }
    if (!session_.state.lineDisplay) return false;
    moveLine(py, false);
    return true;
}

void SpectrumPanel::recordWindowPositions()
{
    auto record = [this](QWidget* w, SettingsWindow slot) {
        if (w) session_.settings.window(slot) = windowPosition(w);
    };
    record(binning_, SettingsWindow::Binning);
    record(curve_, SettingsWindow::IntensityGraph);
    record(file_, SettingsWindow::IntensityCurve);
    record(highOrder_, SettingsWindow::HighOrder);
}

}  // namespace lv
