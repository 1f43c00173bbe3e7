// The main window's photometry part driven by object names.
#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "ui/display/image_window.h"
#include "fits_builder.h"
#include "main_window_fixture.h"
#include "photometry/photometry_run.h"
#include "ui/main_window.h"
#include "ui/photometry/photometry_panel.h"

namespace lv {
namespace {

using test::card;

// 120 x 90 frame: sky 1000, three stars of different brightness.
std::string starField()
{
    std::vector<std::uint16_t> raw(120 * 90, 1000);
    auto star = [&](int cx, int cy, int peak) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                raw[static_cast<std::size_t>((cy + dy) * 120 + cx + dx)] =
                    static_cast<std::uint16_t>(1000 + peak / (1 + dx * dx + dy * dy));
    };
    star(30, 40, 20000);
    star(70, 30, 8000);
    star(90, 60, 12000);
    return test::simpleFits(16, 120, 90,
                            {card("DATE-OBS", "'15/02/18'"), card("UT", "'12:30:45'"), card("EXPTIME", "30")},
                            test::bytes16(raw));
}

class PhotometryWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        start(put("field.fit", starField()));
    }
    PictureView* view() const { return main->imageWindow()->view(); }
    void rightClickAt(int x, int y)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), view()->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view(), &move);
        QTest::mouseClick(view(), Qt::RightButton, Qt::NoModifier, QPoint(x, y));
    }
    // The three stars placed by right clicks, each a little off its centre.
    void placeThreeStars()
    {
        rightClickAt(31, 41);
        pressInPositionSet("Comparison");
        rightClickAt(69, 29);
        pressInPositionSet("Variable");
        rightClickAt(90, 60);
        pressInPositionSet("Check star");
    }
    void pressInPositionSet(const char* caption)
    {
        QWidget* w = main->photometryPanel().positionSetWindow();
        ASSERT_NE(w, nullptr);
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->text() == caption) {
                b->click();
                return;
            }
        FAIL() << "no button " << caption;
    }
};

TEST_F(PhotometryWindowTest, RightClickSetsPositionsThroughPositionSet)
{
    rightClickAt(30, 40);
    ASSERT_NE(main->photometryPanel().positionSetWindow(), nullptr);
    EXPECT_EQ(main->photometryPanel().positionSetWindow()->objectName(), "Form10");
    // Median sky: the three stars, then the ensemble's set and remove.
    EXPECT_EQ(main->photometryPanel().positionSetWindow()->findChildren<QPushButton*>().size(), 5);
    pressInPositionSet("Comparison");
    QApplication::processEvents();
    EXPECT_EQ(main->photometryPanel().positionSetWindow(), nullptr);
    EXPECT_EQ(text("Text20"), " 30");
    EXPECT_EQ(text("Text21"), " 40");
    EXPECT_EQ(text("Text22"), " 50");  // its sky 20 pixels to the right
    EXPECT_FALSE(find<QLineEdit>("Text22")->isVisibleTo(main.get()));
    EXPECT_EQ(session.photometry.slotPositions[kComparisonSky], (PixelPosition{50, 40}));

    trigger("photometry_menu_aperture_shape_square");
    trigger("photometry_menu_sky_aperture");
    EXPECT_TRUE(find<QLineEdit>("Text22")->isVisibleTo(main.get()));
    rightClickAt(10, 80);
    EXPECT_EQ(main->photometryPanel().positionSetWindow()->objectName(), "Form5");
    pressInPositionSet("Sky for comp.");
    EXPECT_EQ(text("Text22"), " 10");
    EXPECT_EQ(text("Text23"), " 80");
    EXPECT_EQ(text("Text20"), " 30");  // the star stays
}

TEST_F(PhotometryWindowTest, PositionSetListsTheEnsembleAndKeepsItInTheSettings)
{
    auto ensembleList = [&] { return main->photometryPanel().positionSetWindow()->findChild<QComboBox*>("Combo1"); };
    rightClickAt(30, 40);
    ASSERT_NE(ensembleList(), nullptr);
    ASSERT_EQ(ensembleList()->count(), 1);
    EXPECT_EQ(ensembleList()->currentText(), "Comparison 2");
    EXPECT_FALSE(main->photometryPanel().positionSetWindow()->findChild<QPushButton*>("Command12")->isEnabled());
    pressInPositionSet("Set here");
    EXPECT_EQ(session.photometry.comparisonCount, 2);
    EXPECT_EQ(session.settings.ensemblePositions, "30 40");
    EXPECT_EQ(session.photometry.slotPositions[static_cast<std::size_t>(comparisonSlot(2)) + 1], (PixelPosition{50, 40}));

    rightClickAt(70, 20);
    ASSERT_EQ(ensembleList()->count(), 2);
    EXPECT_EQ(ensembleList()->itemText(0), "Comparison 2  (30, 40)");
    EXPECT_EQ(ensembleList()->currentText(), "Comparison 3");
    pressInPositionSet("Set here");
    EXPECT_EQ(session.settings.ensemblePositions, "30 40 70 20");

    rightClickAt(10, 10);
    ensembleList()->setCurrentIndex(0);
    EXPECT_TRUE(main->photometryPanel().positionSetWindow()->findChild<QPushButton*>("Command12")->isEnabled());
    pressInPositionSet("Remove");
    EXPECT_EQ(session.photometry.comparisonCount, 2);
    EXPECT_EQ(session.settings.ensemblePositions, "70 20");
    // The main window's six position fields are the three stars' alone.
    EXPECT_EQ(text("Text20"), " 0");
}

TEST_F(PhotometryWindowTest, TypedPositionsAreWhereThePeakSearchStarts)
{
    // Typed a little off each star, each confirmed with Enter.
    auto type = [&](const char* name, const char* value) {
        QLineEdit* f = find<QLineEdit>(name);
        f->selectAll();
        QTest::keyClicks(f, value);
        QTest::keyClick(f, Qt::Key_Return);
    };
    type("Text20", "32");
    type("Text21", "41");
    type("Text24", "68");
    type("Text25", "31");
    type("Text28", "91");
    type("Text29", "58");
    EXPECT_EQ(session.photometry.slotPositions[kComparison], (PixelPosition{32, 41}));
    EXPECT_EQ(session.photometry.slotPositions[kComparisonSky], (PixelPosition{52, 41}));
    find<QPushButton>("Command6")->click();
    // The peak search found the stars near the typed positions.
    EXPECT_EQ(text("Text20"), " 30");
    EXPECT_EQ(text("Text21"), " 40");
    EXPECT_EQ(text("Text24"), " 70");
    EXPECT_EQ(text("Text25"), " 30");
    EXPECT_EQ(text("Text28"), " 90");
    EXPECT_EQ(text("Text29"), " 60");
    EXPECT_NE(text("Text32"), text("Text33"));

    // A sky chosen by hand stays when its star is typed again.
    trigger("photometry_menu_aperture_shape_square");
    trigger("photometry_menu_sky_aperture");
    type("Text22", "5");
    type("Text23", "5");
    type("Text20", "31");
    EXPECT_EQ(session.photometry.slotPositions[kComparisonSky], (PixelPosition{5, 5}));
    EXPECT_EQ(session.photometry.slotPositions[kComparison].x, 31);
}

TEST_F(PhotometryWindowTest, ShapeAndSkyMenus)
{
    // The menu's items in their order, and "Size" plain until a shape is chosen.
    QStringList order;
    for (QAction* a : find<QMenu>("photometry_menu")->actions()) order << a->objectName();
    EXPECT_EQ(order, QStringList({"photometry_menu_digit", "photometry_menu_position", "photometry_menu_aperture",
                                  "photometry_menu_int_real", "photometry_menu_sky", "photometry_menu_jst_utc",
                                  "photometry_menu_comp_star", "photometry_menu_target_site", "photometry_menu_automatic",
                                  "photometry_menu_light_curve"}));
    EXPECT_EQ(find<QAction>("photometry_menu_aperture_size")->text(), "Size");
    EXPECT_TRUE(find<QAction>("photometry_menu_sky_median")->isChecked());
    EXPECT_TRUE(find<QAction>("photometry_menu_position_move")->isChecked());
    EXPECT_EQ(text("Text35"), "  Radii 3");
    EXPECT_EQ(text("Text36"), " Peak & Move");
    trigger("photometry_menu_sky_aperture");
    trigger("photometry_menu_aperture_shape_square");
    EXPECT_EQ(session.photometry.settings.skyMode, SkyMode::Aperture);  // square leaves the sky alone
    EXPECT_EQ(find<QAction>("photometry_menu_aperture_size")->text(), "Size (square)");
    EXPECT_EQ(text("Text35"), "  3 x  3");
    trigger("photometry_menu_aperture_shape_circle");
    EXPECT_EQ(session.photometry.settings.skyMode, SkyMode::Median);  // circle forces the median
    EXPECT_TRUE(find<QAction>("photometry_menu_sky_median")->isChecked());
    EXPECT_FALSE(find<QAction>("photometry_menu_sky_aperture")->isChecked());
    EXPECT_EQ(find<QAction>("photometry_menu_aperture_size")->text(), "Size (radius)");
    trigger("photometry_menu_position_fix");
    EXPECT_EQ(text("Text36"), " Fix position");
    trigger("photometry_menu_digit2");
    EXPECT_EQ(session.settings.digits, 2);
    trigger("photometry_menu_jst_utc_plus9");
    EXPECT_EQ(session.settings.timeZoneHours, 9);
}

TEST_F(PhotometryWindowTest, MarkersComeAndGoWithoutATrace)
{
    for (const char* display : {"display_menu_image", "display_menu_image_12"}) {
        for (const char* sky : {"photometry_menu_sky_median", "photometry_menu_sky_aperture"}) {
            trigger(sky);
            trigger(display);
            session.photometry.setFieldPosition(kComparison, {30, 40});
            session.photometry.setFieldPosition(kVariable, {115, 5});  // reaching past the border
            session.photometry.setFieldPosition(kCheck, {90, 60});
            const RgbPicture clean = view()->picture();
            auto* cross = find<QPushButton>("Command7");
            cross->click();
            EXPECT_EQ(cross->text(), "Cross off");
            EXPECT_NE(view()->picture().points, clean.points) << display << " " << sky;
            cross->click();
            EXPECT_EQ(cross->text(), "Cross on");
            EXPECT_EQ(view()->picture().points, clean.points) << display << " " << sky;
        }
    }
    // Search-span squares: only in median sky mode.
    trigger("photometry_menu_sky_median");
    trigger("display_menu_image");
    const RgbPicture clean = view()->picture();
    QTest::mouseClick(find<QLabel>("Label21"), Qt::LeftButton);
    EXPECT_NE(view()->picture().points, clean.points);
    QTest::mouseClick(find<QLabel>("Label21"), Qt::LeftButton);
    EXPECT_EQ(view()->picture().points, clean.points);
    trigger("photometry_menu_sky_aperture");
    QTest::mouseClick(find<QLabel>("Label21"), Qt::LeftButton);
    EXPECT_FALSE(session.photometry.searchSpansShown);
}

TEST_F(PhotometryWindowTest, PhotometryButtonFillsTheFieldsAndTheClipboard)
{
    placeThreeStars();
    find<QPushButton>("Command7")->click();  // markers on: the run takes them off
    find<QPushButton>("Command6")->click();
    EXPECT_TRUE(platform.shown.empty()) << platform.shown.front().text;
    EXPECT_EQ(find<QPushButton>("Command7")->text(), "Cross on");
    EXPECT_EQ(text("Text20"), " 30");  // peak cast & move found the star's centre
    EXPECT_EQ(text("Text24"), " 70");
    const double c = leadingNumber(text("Text32").toStdString());
    const double v = leadingNumber(text("Text33").toStdString());
    const double k = leadingNumber(text("Text34").toStdString());
    EXPECT_GT(v, c);  // the variable is the faintest
    EXPECT_GT(k, c);
    EXPECT_EQ(platform.clipboardText,
              "15/02/18 12:30:45 030 Check=" + magnitudeText(k, 3) + " Comp=" + magnitudeText(c, 3) + " Var=" + magnitudeText(v, 3));

    session.photometry.comparison = {"RZ Cas", 10.0, 1, "ABC"};
    find<QPushButton>("Command6")->click();
    EXPECT_EQ(platform.clipboardText.substr(0, 22), "RZ Cas 20180215123100 ");
}

// "Target and Site" keeps what is typed in the settings (a position without
// its other half is refused), and after "Photometry" each magnitude has its
// error beside it and a saturated star's field says so.
TEST_F(PhotometryWindowTest, TargetAndSiteAndTheErrorsBesideTheMagnitudes)
{
    for (const char* label : {"Label30", "Label31", "Label32"}) EXPECT_TRUE(find<QLabel>(label)->text().isEmpty());
    auto fill = [&](const char* box, const char* value) {
        QWidget* w = main->photometryPanel().targetSiteWindow();
        ASSERT_NE(w, nullptr);
        w->findChild<QLineEdit*>(box)->setText(value);
    };
    trigger("photometry_menu_target_site");
    fill("Text1", "12:00:00");
    main->photometryPanel().targetSiteWindow()->findChild<QPushButton*>("Command1")->click();
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_NE(platform.shown[0].text.find("RA and Dec go together"), std::string::npos);
    EXPECT_TRUE(session.settings.targetRa.empty());
    ASSERT_NE(main->photometryPanel().targetSiteWindow(), nullptr);  // still open, to be mended
    fill("Text2", "+45:30:00");
    fill("Text6", "2");
    fill("Text8", "15000");
    main->photometryPanel().targetSiteWindow()->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(session.settings.targetRa, "12:00:00");
    EXPECT_EQ(session.settings.cameraGain, "2");
    EXPECT_EQ(session.settings.cameraLinearity, "15000");
    platform.shown.clear();

    placeThreeStars();
    find<QPushButton>("Command6")->click();
    for (const char* label : {"Label30", "Label31", "Label32"}) {
        QLabel* l = find<QLabel>(label);
        EXPECT_TRUE(l->text().startsWith(QString::fromUtf8("\u00B1 0."))) << label;
        // Room for the whole text from the start: the window does not change its layout.
        EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << label;
    }
    // The comparison's peak (21000) reaches the limit typed, the variable's (9000) does not.
    EXPECT_TRUE(find<QLineEdit>("Text32")->toolTip().startsWith("Saturated"));
    EXPECT_TRUE(find<QLineEdit>("Text33")->toolTip().isEmpty());
}

}  // namespace
}  // namespace lv
