// The light-curve window and its axis dialog, driven as the user would.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "main_window_fixture.h"
#include "ui/file_dialog.h"
#include "lightcurve/minimum.h"
#include "lightcurve/night_rows.h"
#include "ui/lightcurve/light_curve_panel.h"
#include "ui/lightcurve/light_curve_window.h"
#include "ui/main_window.h"

namespace lv {
namespace {

// Five lines of one night; line 3 is the outlier.
const char* kData =
    "2018-02-15 21:00:00 030 Check=011.200 Comp=010.500 Var=012.000 /obs/a.fit\r\n"
    "2018-02-15 22:00:00 030 Check=011.210 Comp=010.510 Var=012.100 /obs/b.fit\r\n"
    "2018-02-15 23:00:00 030 Check=011.300 Comp=010.500 Var=013.500 /obs/c.fit\r\n"
    "2018-02-16 00:30:00 030 Check=011.190 Comp=010.490 Var=012.300 /obs/d.fit\r\n"
    "2018-02-16 01:30:00 030 Check=011.200 Comp=010.500 Var=012.400 /obs/e.fit\r\n";

class LightCurveWindowTest : public test::MainWindowFixture {
protected:
    LightCurveWindow* window() const { return main->lightCurvePanel().window(); }
    void open(const std::string& data = kData)
    {
        start();
        const std::string path = put("mag_est.txt", data);
        trigger("photometry_menu_light_curve");
        FileDialog* d = main->fileDialog();
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Photometry data (mag_est.txt) ");
        EXPECT_FALSE(d->findChild<QCheckBox*>("Check2")->isVisibleTo(d));
        d->findChild<QLineEdit*>("Text1")->setText(QString::fromStdString(path));
        d->accept();
        ASSERT_NE(window(), nullptr);
        EXPECT_EQ(window()->windowTitle().toStdString(), "Light Curve (" + path + ")");
    }
    QWidget* vc() const { return window()->findChild<QWidget*>("Picture2"); }
    QListWidget* list() const { return window()->findChild<QListWidget*>("List1"); }
    void clickVc(int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseClick(vc(), b, Qt::NoModifier, QPoint(x, y)); }
};

TEST_F(LightCurveWindowTest, ClickBesideAPointDeletesItAndDoubleClickRestores)
{
    open();
    ASSERT_EQ(list()->count(), 5);
    EXPECT_EQ(list()->item(2)->text().toStdString(),
              " 0003 : 2018-02-15 23:00:00 030 Check=011.300 Comp=010.500 Var=013.500 ");
    const int x = window()->vcPositions().x[2], y = window()->vcPositions().y[2];
    ASSERT_NE(x, -99);

    clickVc(x + 2, y);  // two units beside: nothing
    EXPECT_FALSE(window()->table().deleted(2));
    clickVc(x + 1, y - 1);  // one unit beside: deleted
    EXPECT_TRUE(window()->table().deleted(2));
    EXPECT_EQ(platform.messageTexts().back(), "delete no = 0003");
    EXPECT_EQ(list()->item(2)->text().left(2), "x0");
    EXPECT_EQ(window()->vcPositions().x[2], -99);
    const QString error = window()->findChild<QLabel*>("Label7")->text();

    // Double-clicking its list entry restores it at the same place.
    QListWidgetItem* item = list()->item(2);
    emit list()->itemDoubleClicked(item);
    EXPECT_FALSE(window()->table().deleted(2));
    EXPECT_EQ(window()->vcPositions().x[2], x);
    EXPECT_EQ(window()->vcPositions().y[2], y);
    EXPECT_NE(window()->findChild<QLabel*>("Label7")->text(), error);
}

TEST_F(LightCurveWindowTest, AxisDialogOkKeepsTheHourEndAndAutoScaleReturns)
{
    open();
    const LightCurveAxes automatic = window()->axes();
    window()->openAxisDialog();
    AxisDialog* dialog = window()->axisDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Light Curve X-Y Axis");
    // 21:00 ... 25:30: shown as 21 and 26.
    EXPECT_EQ(dialog->findChild<QLineEdit*>("Text1")->text(), "21");
    EXPECT_EQ(dialog->findChild<QLineEdit*>("Text2")->text(), "26");
    dialog->findChild<QLineEdit*>("Text2")->setText("27");
    dialog->findChild<QPushButton*>("Command1")->click();
    EXPECT_TRUE(window()->axes().manual);
    EXPECT_EQ(window()->axes().ranges.hourEnd, 26);

    window()->openAxisDialog();
    EXPECT_EQ(window()->axisDialog()->findChild<QLineEdit*>("Text2")->text(), "27");
    window()->axisDialog()->findChild<QPushButton*>("Command3")->click();  // Auto scale
    EXPECT_FALSE(window()->axes().manual);
    EXPECT_EQ(window()->axes().ranges.hourEnd, automatic.ranges.hourEnd);
}

TEST_F(LightCurveWindowTest, ReportFieldsPersistAndTheReportIsWritten)
{
    open();
    window()->findChild<QLineEdit*>("Text1")->setText("10.000");
    window()->findChild<QLineEdit*>("Text2")->setText("RZ CAS");
    window()->findChild<QLineEdit*>("Text3")->setText("ABC");
    window()->findChild<QLineEdit*>("Text4")->setText("V");
    EXPECT_EQ(session.settings.starName, "RZ CAS");
    EXPECT_EQ(session.settings.comparisonColour, "V");
    window()->findChild<QPushButton*>("Command3")->click();
    EXPECT_EQ(platform.messageTexts().back(), "Completion, file name is sdata2.std");
    const std::string report = test::readFile(dir.file("sdata2.std"));
    EXPECT_NE(report.find("RZ CAS 20180215210015 11.500V ABC\r\n"), std::string::npos) << report;

    // The comparison-star window hands its texts over.
    trigger("photometry_menu_comp_star");
    QWidget* comp = main->findChild<QWidget*>("Form23");
    ASSERT_NE(comp, nullptr);
    comp->findChild<QLineEdit*>("Text1")->setText("SS CYG");
    comp->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(window()->findChild<QLineEdit*>("Text2")->text(), "SS CYG");
    EXPECT_EQ(session.settings.starName, "SS CYG");
}

TEST_F(LightCurveWindowTest, AavsoExportFromTheWindow)
{
    open();
    // The offset follows the time-zone setting: data measured with "+9 hour"
    // are 9 hours ahead of UT.
    EXPECT_EQ(window()->findChild<QLineEdit*>("Text10")->text(), "0");
    trigger("photometry_menu_jst_utc_plus9");
    main->lightCurvePanel().openLightCurve(dir.file("mag_est.txt"));
    EXPECT_EQ(window()->findChild<QLineEdit*>("Text10")->text(), "9");
    window()->findChild<QLineEdit*>("Text1")->setText("10.000");
    window()->findChild<QLineEdit*>("Text2")->setText("RZ CAS");
    window()->findChild<QLineEdit*>("Text3")->setText("ABC");
    window()->findChild<QLineEdit*>("Text4")->setText("V");
    window()->findChild<QLineEdit*>("Text8")->setText("000-BBC-123");
    EXPECT_EQ(session.settings.comparisonName, "000-BBC-123");
    window()->findChild<QPushButton*>("Command4")->click();
    const std::string text = test::readFile(dir.file("aavso.txt"));
    EXPECT_EQ(text.substr(0, 16), "#TYPE=EXTENDED\r\n");
    // 21:00:00 + 15 s JST on 2018-02-15 is 12:00:15 UT: JD 2458164.5 + 12.004167 / 24.
    EXPECT_NE(text.find("RZ CAS,2458165.00017,11.493,"), std::string::npos) << text;
    EXPECT_NE(text.find(",V,NO,STD,000-BBC-123,10.500,na,11.200,"), std::string::npos) << text;

    window()->findChild<QLineEdit*>("Text2")->setText(QString(31, 'X'));
    window()->findChild<QPushButton*>("Command4")->click();
    ASSERT_FALSE(platform.shown.empty());
    EXPECT_TRUE(platform.shown.back().error);
}

TEST_F(LightCurveWindowTest, AnUnreadableFileKeepsTheOpenWindow)
{
    open();
    LightCurveWindow* before = window();
    main->lightCurvePanel().openLightCurve(dir.file("missing.txt"));
    EXPECT_EQ(window(), before);
    EXPECT_NE(platform.messageTexts().back().find("missing.txt"), std::string::npos);
}

TEST_F(LightCurveWindowTest, TheDialogOffersTheFoldersDataFileAndAFrameIsRefused)
{
    const std::string frame = put("f.fit", test::simpleFits(16, 2, 2, {}, test::bytes16({1, 2, 3, 4})));
    start(frame);
    const std::string data = put("mag_est.txt", kData);
    trigger("photometry_menu_light_curve");
    FileDialog* d = main->fileDialog();
    ASSERT_NE(d, nullptr);
    // Not the frame in view: the folder's data file.
    EXPECT_EQ(QDir(d->findChild<QLineEdit*>("Text1")->text()).absolutePath().toStdString(),
              QDir(QString::fromStdString(data)).absolutePath().toStdString());
    d->accept();
    ASSERT_NE(window(), nullptr);
    LightCurveWindow* before = window();
    ASSERT_EQ(before->table().count(), 5);

    // A frame chosen by hand is no light curve: refused, the window stays.
    platform.shown.clear();
    main->lightCurvePanel().openLightCurve(frame);
    EXPECT_EQ(window(), before);
    EXPECT_EQ(window()->table().count(), 5);
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_TRUE(platform.shown[0].error);
    EXPECT_EQ(platform.shown[0].text, frame + ": not a photometry data file (no line holds a time and the "
                                              "magnitudes Check=, Comp= and Var=)");
    // An empty file (a night just begun) is a light curve without points.
    main->lightCurvePanel().openLightCurve(put("empty.txt", ""));
    EXPECT_NE(window(), before);
    EXPECT_EQ(window()->table().count(), 0);
}

TEST_F(LightCurveWindowTest, EmptyReportFieldsStayEmptyAndTheTypedOffsetIsKept)
{
    open();
    // Nothing stored: the examples show only in grey, never as text.
    for (const char* name : {"Text1", "Text2"}) {
        EXPECT_TRUE(window()->findChild<QLineEdit*>(name)->text().isEmpty()) << name;
        EXPECT_FALSE(window()->findChild<QLineEdit*>(name)->placeholderText().isEmpty()) << name;
    }
    EXPECT_EQ(window()->reportFields().star, "");
    EXPECT_EQ(window()->reportFields().compMag, 0.0);
    QTest::keyClicks(window()->findChild<QLineEdit*>("Text10"), "5");
    EXPECT_EQ(window()->findChild<QLineEdit*>("Text10")->text(), "05");
    trigger("file_menu_exit");
    const std::string settings = test::readFile(dir.file("lumavist.ini"));
    EXPECT_NE(settings.find("\r\n05\r\n"), std::string::npos) << settings;

    // The next start brings it back, whatever the time-zone setting.
    main.reset();
    start();
    main->lightCurvePanel().openLightCurve(dir.file("mag_est.txt"));
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(window()->findChild<QLineEdit*>("Text10")->text(), "05");
}

TEST_F(LightCurveWindowTest, TheGraphsGrowWithTheWindowAndPointsAreHitWhereDrawn)
{
    open();
    QWidget* ck = window()->findChild<QWidget*>("Picture1");
    const QSize before = vc()->size();
    window()->resize(window()->width() + 300, window()->height() + 200);
    QCoreApplication::processEvents();
    EXPECT_GT(vc()->width(), before.width());
    EXPECT_GT(vc()->height(), before.height());
    EXPECT_EQ(ck->width(), vc()->width());
    // The drawing follows the picture: a click on a point drawn at the new size hits it.
    EXPECT_EQ(static_cast<GraphView*>(vc())->picture().width, vc()->width());
    const int x = window()->vcPositions().x[0], y = window()->vcPositions().y[0];
    clickVc(x, y);
    EXPECT_TRUE(window()->table().deleted(0));
}

// "Time of minimum" times the eclipse over the visible time axis by both
// methods, shows the results with O - C and keeps them in minima.txt.
TEST_F(LightCurveWindowTest, TimeOfMinimumOverTheVisibleAxis)
{
    // 40 frames, 3 minutes apart from 21:00: an eclipse deepest at 22:00:15 (mid-exposure).
    std::string data;
    for (int i = 0; i < 40; ++i) {
        const int minutes = 3 * i;
        const double dt = (minutes - 60) / 60.0;  // hours from 22:00
        const double var = 12.0 + 0.8 * std::exp(-dt * dt / (2 * 0.25 * 0.25));
        char line[160];
        std::snprintf(line, sizeof line, "2018-02-15 %02d:%02d:00 030 Check=011.200 Comp=010.500 Var=%07.3f /obs/f%02d.fit\r\n",
                      21 + minutes / 60, minutes % 60, var, i);
        data += line;
    }
    open(data);
    window()->findChild<QLineEdit*>("Text11")->setText("2458165.0");
    window()->findChild<QLineEdit*>("Text12")->setText("0.5");
    window()->findChild<QPushButton*>("Command5")->click();
    const QString shown = window()->findChild<QLabel*>("Label8")->text();
    EXPECT_TRUE(shown.startsWith("kvw 2458165.41")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("JD (local time) (40 points), O - C ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("\npoly ")) << shown.toStdString();
    const std::string kept =
        test::readFile((std::filesystem::path(window()->table().path).parent_path() / kMinimaName).string());
    EXPECT_EQ(kept.rfind(std::string(kMinimaHeader) + "\r\n,kvw,2458165.41", 0), 0u) << kept;
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 3);
    // 22:00:15 local time of 2018-02-15 is JD 2458165.416840.
    const double kvw = std::stod(kept.substr(kept.find(",kvw,") + 5));
    EXPECT_NEAR(kvw, 2458165.4168403, 0.0003);

    // Two Shift-clicks on points 11 and 30 (21:30 and 22:27) make the range
    // instead of the axis; the points stay kept.
    const PointPositions& at = window()->vcPositions();
    window()->pressOnCurve(at.x[29], at.y[29], Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(window()->findChild<QLabel*>("Label8")->text().contains("from point 0030"));
    window()->pressOnCurve(at.x[10], at.y[10], Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(window()->findChild<QLabel*>("Label8")->text().contains("to point 0011"));
    EXPECT_FALSE(window()->table().deleted(10));
    window()->findChild<QPushButton*>("Command5")->click();
    const QString ranged = window()->findChild<QLabel*>("Label8")->text();
    EXPECT_TRUE(ranged.contains("(20 points)")) << ranged.toStdString();
    const std::string again =
        test::readFile((std::filesystem::path(window()->table().path).parent_path() / kMinimaName).string());
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 5);
    EXPECT_NE(again.find(",kvw,"), again.rfind(",kvw,"));
    EXPECT_NEAR(std::stod(again.substr(again.rfind(",kvw,") + 5)), 2458165.4168403, 0.0005);
}

TEST_F(LightCurveWindowTest, AnEnsembleNightListsEachComparisonStarsScatter)
{
    std::string data, table = nightTableEnsembleHeader() + "\r\n";
    for (int i = 0; i < 4; ++i) {
        data += "2018-02-15 21:3" + std::to_string(i) + ":45 030 Check=011.234 Comp=010.500 Var=012.345 /obs/f" +
                std::to_string(i) + ".fit\r\n";
        table += "f" + std::to_string(i) + ".fit,2458165.0215,,,,,,,,,,1.8400,0.0045,-0.2500,0.0050,,,,,,,,,,,,,,3,5.5000,6.0000," +
                 (i % 2 ? "6.4000" : "6.3000") + ",,,,,,,\r\n";
    }
    put("photometry.csv", table);
    open(data);
    QListWidget* scatter = window()->findChild<QListWidget*>("List2");
    ASSERT_NE(scatter, nullptr);
    EXPECT_TRUE(scatter->isVisibleTo(window()));
    ASSERT_EQ(scatter->count(), 3);
    EXPECT_TRUE(scatter->item(2)->text().startsWith("C3  sd 0.05")) << scatter->item(2)->text().toStdString();
    EXPECT_TRUE(scatter->item(0)->text().endsWith("(4 frames)"));
    // Every star shows without a scroll bar, and the list is no taller than they need.
    QApplication::processEvents();
    EXPECT_EQ(scatter->verticalScrollBar()->maximum(), 0);
    EXPECT_LT(scatter->height(), 5 * scatter->fontMetrics().lineSpacing());
    // A line marked deleted in the list leaves the scatter.
    window()->toggleListRow(0);
    ASSERT_TRUE(window()->table().deleted(0));
    EXPECT_TRUE(scatter->item(0)->text().endsWith("(3 frames)")) << scatter->item(0)->text().toStdString();
}

TEST_F(LightCurveWindowTest, ANightOfOneComparisonStarHasNoScatterList)
{
    open();
    EXPECT_FALSE(window()->findChild<QListWidget*>("List2")->isVisibleTo(window()));
}

}  // namespace
}  // namespace lv
