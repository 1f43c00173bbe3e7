#include "window_tour.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include <gtest/gtest.h>

#include "core/demo_frames.h"
#include "core/conventions.h"
#include "core/file_replace.h"
#include "fits_builder.h"
#include "photometry/positions.h"
#include "core/file_queue.h"
#include "ui/display/image_window.h"
#include "ui/display/progress_window.h"
#include "ui/lightcurve/light_curve_panel.h"
#include "ui/lightcurve/light_curve_window.h"
#include "ui/photometry/photometry_panel.h"
#include "ui/platform/qt_platform.h"
#include "ui/folder_window.h"
#include "ui/processing/processing_panel.h"

namespace lv::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kNightFile = "night_mag_est.txt";

TempDir& scratch()
{
    static TempDir dir;
    return dir;
}

// Where a star of the demo night is in its first frame.
PixelPosition star(const char* role)
{
    for (const DemoStar& s : demoRun().stars)
        if (s.role == role) return {static_cast<int>(s.x), static_cast<int>(s.y)};
    return {};
}

// Three bright field stars of the demo's first frame, clear of the others:
// with the comparison star, the ensemble of the ensemble scenes.
const PixelPosition kFieldStars[] = {{216, 376}, {77, 331}, {193, 78}};

// mag_est.txt of the whole night, measured as the unattended automatic run
// does (against the ensemble when asked).
void measureNight(const std::string& folder, bool ensemble = false)
{
    Session s;
    ScriptedPlatform p;
    listFolder(folder, s.processing.queue);
    sortQueue(s.processing.queue);
    AutomaticSetup setup;
    setup.picturesNotChecked = true;
    setup.displayPictures = false;
    setup.readFolder = folder;
    setup.currentFolder = folder;
    AutomaticContext ctx = s.automaticContext(p);
    ASSERT_EQ(s.automatic.prepare(ctx, setup), PrepareOutcome::Loaded);
    setStarPosition(s.photometry, kComparison, star("comparison"));
    setStarPosition(s.photometry, kVariable, star("variable"));
    setStarPosition(s.photometry, kCheck, star("check"));
    if (ensemble) {
        // An aperture wide enough that where a star falls inside its pixel
        // does not change its share: the field stars are not on whole pixels.
        ASSERT_EQ(applySkyArea(s.photometry.settings, 5, 12, 24), SkyAreaCheck::Stored);
    }
    if (ensemble)
        for (const PixelPosition& field : kFieldStars)
            setEnsembleStar(s.photometry, s.photometry.comparisonCount + 1, field);
    AutomaticStatus status = s.automatic.measure(ctx);
    while (status == AutomaticStatus::FrameLoaded) status = s.automatic.measure(ctx);
}

PictureView* picture(TourStage& stage)
{
    ImageWindow* w = stage.main->imageWindow();
    return w ? w->view() : nullptr;
}

void clickImage(TourStage& stage, Qt::MouseButton button, PixelPosition at, Qt::KeyboardModifiers mods = {})
{
    PictureView* view = picture(stage);
    ASSERT_NE(view, nullptr);
    const int s = stage.session.state.displayScale;
    QTest::mouseClick(view, button, mods, QPoint(at.x / s, at.y / s));
}

void openLightCurve(TourStage& stage)
{
    stage.main->lightCurvePanel().openLightCurve(joinPath(demoFolder(), kNightFile));
}

// The demo night measured against four comparison stars, in a folder of its own.
std::string ensembleFolder()
{
    static const std::string folder = [] {
        const std::string f = scratch().file("ensemble-night");
        fs::create_directories(f);
        std::string error;
        EXPECT_TRUE(writeDemoRun(f, error)) << error;
        measureNight(f, true);
        return f;
    }();
    return folder;
}

// The automatic run prepared on the demo night, as the folder window's OK leaves it.
void prepareAutomatic(TourStage& stage)
{
    stage.trigger("photometry_menu_automatic");
    FolderWindow* folder = stage.main->folderWindow();
    ASSERT_NE(folder, nullptr);
    folder->sort();
    folder->accept();
}

}  // namespace

std::string demoFolder()
{
    static const std::string folder = [] {
        const std::string f = scratch().file("night");
        fs::create_directories(f);
        std::string error;
        EXPECT_TRUE(writeDemoRun(f, error)) << error;
        measureNight(f);
        // The automatic-run scenes empty mag_est.txt; the light curve reads a copy.
        std::string night;
        EXPECT_TRUE(readWholeFile(joinPath(f, "mag_est.txt"), night));
        EXPECT_TRUE(replaceFileWith(joinPath(f, kNightFile), night, error)) << error;
        return f;
    }();
    return folder;
}

TourStage::TourStage()
{
    static int stages = 0;
    startFolder_ = scratch().file("start" + std::to_string(++stages));
    fs::create_directories(startFolder_);
    previousFolder_ = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(demoFolder()));
    session.state.startFolder = startFolder_;
    main = std::make_unique<MainWindow>(session, platform);
    main->startUp({});
    main->show();
    // As a person would: the main window is on the screen before any command.
    settle(*this);
}

TourStage::~TourStage()
{
    if (main) main->close();
    main.reset();
    QDir::setCurrent(previousFolder_);
}

std::string TourStage::framePath(const std::string& name) const { return joinPath(demoFolder(), name); }

void TourStage::openFrame(const std::string& name) { main->openDroppedFile(framePath(name)); }

void TourStage::trigger(const char* action) const
{
    QAction* a = main->findChild<QAction*>(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
}

QWidget* TourStage::window(const char* form) const
{
    if (main->objectName() == form) return main.get();
    for (QWidget* w : main->findChildren<QWidget*>(form))
        if (w->isWindow() && w->isVisible()) return w;
    return nullptr;
}

QList<QWidget*> TourStage::visibleWindows() const
{
    QList<QWidget*> out{main.get()};
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != main.get() && w->isVisible() && !w->objectName().isEmpty()) out.push_back(w);
    return out;
}

void settle(const TourStage& stage)
{
    const bool framed = QGuiApplication::platformName() == QLatin1String("xcb");
    for (QWidget* w : stage.visibleWindows()) {
        // A window that never shows is the test's to report.
        if (!QTest::qWaitForWindowExposed(w, 3000)) continue;
        if (framed && !QTest::qWaitFor([w] { return w->frameGeometry().top() < w->geometry().top(); }, 3000))
            continue;
    }
    QTest::qWait(framed ? 300 : 20);
}

const std::vector<Scene>& scenes()
{
    static const std::vector<Scene> all = {
        {"form01-main", "The application started", [](TourStage&) {}, {"Form1"}},
        {"form01-after-photometry", "A frame measured with \"Photometry\": each magnitude with its error",
         [](TourStage& s) {
             s.openFrame();
             setStarPosition(s.session.photometry, kComparison, star("comparison"));
             setStarPosition(s.session.photometry, kVariable, star("variable"));
             setStarPosition(s.session.photometry, kCheck, star("check"));
             s.main->photometryPanel().showFields();
             s.main->photometryPanel().measure();
         },
         {"Form1", "Form4"}},
        {"form02-file-dialog", "File > Open with a frame open",
         [](TourStage& s) {
             s.openFrame();
             s.trigger("file_menu_open");
         },
         {"Form2"}},
        {"form03-header", "Display > Header",
         [](TourStage& s) {
             s.openFrame();
             s.trigger("display_menu_header");
         },
         {"Form3"}},
        {"form04-image", "A frame dropped on the main window", [](TourStage& s) { s.openFrame(); }, {"Form4"}},
        {"form05-position-set-six", "Photometry > Sky > Aperture, then a right click on a star",
         [](TourStage& s) {
             s.openFrame();
             s.trigger("photometry_menu_sky_aperture");
             clickImage(s, Qt::RightButton, star("comparison"));
         },
         {"Form5"}},
        {"form06-zoom", "A left click on the picture",
         [](TourStage& s) {
             s.openFrame();
             clickImage(s, Qt::LeftButton, star("variable"));
         },
         {"Form4", "Form6"}},
        {"form07-folder", "Photometry > Automatic", [](TourStage& s) { s.trigger("photometry_menu_automatic"); },
         {"Form7"}},
        {"form08-progress", "A folder job under way",
         [](TourStage& s) {
             auto* w = new ProgressWindow(s.main.get());
             w->setAttribute(Qt::WA_DeleteOnClose);
             w->showCentred("Progress DARK", QString::fromStdString(s.framePath("calibration/dark.fit")));
         },
         {"Form8"}},
        {"form09-frame-choice", "The automatic run on its first frame (\"Automatic\" pressed)",
         [](TourStage& s) {
             prepareAutomatic(s);
             setStarPosition(s.session.photometry, kComparison, star("comparison"));
             setStarPosition(s.session.photometry, kVariable, star("variable"));
             setStarPosition(s.session.photometry, kCheck, star("check"));
             s.main->photometryPanel().showFields();
             s.main->photometryPanel().automaticButton()->click();
         },
         {"Form4", "Form6", "Form9"}},
        {"form10-position-set-three", "A right click on a star",
         [](TourStage& s) {
             s.openFrame();
             clickImage(s, Qt::RightButton, star("comparison"));
         },
         {"Form10"}},
        {"form11-sky-area", "Photometry > Aperture > Size", [](TourStage& s) { s.trigger("photometry_menu_aperture_size"); },
         {"Form11"}},
        {"form12-binning-save", "Utility > Binning > Binnning Data Save on the spectrum",
         [](TourStage& s) {
             s.openFrame("spectrum/spectrum.fit");
             s.trigger("utility_menu_binning_save");
         },
         {"Form20", "Form4", "Form12", "Form13"}},
        {"form13-binning", "Utility > Binning > Execution on the spectrum",
         [](TourStage& s) {
             s.openFrame("spectrum/spectrum.fit");
             s.trigger("utility_menu_binning_make");
         },
         {"Form20", "Form4", "Form13", "Form15"}},
        {"form20-high-order-fitted", "\"OK\" in the high-order function window: the fitted polynomial",
         [](TourStage& s) {
             s.openFrame("spectrum/spectrum.fit");
             s.trigger("utility_menu_binning_make");
             if (QWidget* w = s.window("Form20"))
                 if (auto* ok = w->findChild<QPushButton*>("Command1")) ok->click();
         },
         {"Form20"}},
        {"form14-histogram", "Display > Contrast adjust",
         [](TourStage& s) {
             s.openFrame();
             s.trigger("display_menu_adjust");
         },
         {"Form14"}},
        {"form16-calculation", "Utility > Calculation", [](TourStage& s) { s.trigger("utility_menu_calculation"); },
         {"Form16"}},
        {"form17-light-curve", "Photometry > Light Curve on the night's mag_est.txt",
         [](TourStage& s) { openLightCurve(s); }, {"Form17"}},
        {"form17-ensemble-minimum",
         "Photometry > Light Curve on a night measured against four comparison stars, \"Time of minimum\" pressed",
         [](TourStage& s) {
             s.main->lightCurvePanel().openLightCurve(joinPath(ensembleFolder(), "mag_est.txt"));
             LightCurveWindow* w = s.main->lightCurvePanel().window();
             ASSERT_NE(w, nullptr);
             w->findChild<QLineEdit*>("Text11")->setText("2458165.0505");
             w->findChild<QLineEdit*>("Text12")->setText("0.7");
             w->findChild<QPushButton*>("Command5")->click();
         },
         {"Form17"}},
        {"form18-axis", "A double-click on a light-curve graph",
         [](TourStage& s) {
             openLightCurve(s);
             if (LightCurveWindow* w = s.main->lightCurvePanel().window()) w->openAxisDialog();
         },
         {"Form17", "Form18"}},
        {"form19-export", "File > Save to BMP,JPEG",
         [](TourStage& s) {
             s.openFrame();
             s.trigger("file_menu_save_bmp");
         },
         {"Form4", "Form19"}},
        {"form21-composite", "Utility > Continuous processing > Composite",
         [](TourStage& s) { s.trigger("utility_menu_continuous_composite"); }, {"Form21"}},
        {"form22-bzero", "Utility > Continuous processing > BZERO,BSCALE Change",
         [](TourStage& s) { s.trigger("utility_menu_continuous_bzero"); }, {"Form22"}},
        {"form23-comparison-star", "Photometry > Comparison Star Magnitude",
         [](TourStage& s) { s.trigger("photometry_menu_comp_star"); }, {"Form23"}},
        {"form25-target-site", "Photometry > Target and Site",
         [](TourStage& s) { s.trigger("photometry_menu_target_site"); }, {"Form25"}},
        {"form24-horizontal-graph", "A left click with Shift on the picture",
         [](TourStage& s) {
             s.openFrame();
             clickImage(s, Qt::LeftButton, star("variable"), Qt::ShiftModifier);
         },
         {"Form4", "Form24"}},
        {"together-automatic-start", "Photometry > Automatic, the folder's OK: the first frame and the zoom window",
         [](TourStage& s) { prepareAutomatic(s); }, {"Form4", "Form6"}},
        {"together-light-curve-frame", "A right click on a V-C point opens its frame",
         [](TourStage& s) {
             openLightCurve(s);
             LightCurveWindow* w = s.main->lightCurvePanel().window();
             ASSERT_NE(w, nullptr);
             const PointPositions& at = w->vcPositions();
             for (std::size_t i = 0; i < at.x.size(); ++i)
                 if (at.x[i] >= 0) {
                     w->pressOnCurve(at.x[i], at.y[i], Qt::RightButton);
                     break;
                 }
         },
         {"Form17", "Form4"}},
    };
    return all;
}

}  // namespace lv::test
