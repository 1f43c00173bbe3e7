// The spectrum tools from the main window: binning, the curve window's bars,
// the curve files, the horizontal graph, and the composite and BZERO/BSCALE
// windows.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include "fits_builder.h"
#include "main_window_fixture.h"
#include "ui/display/image_window.h"
#include "ui/main_window.h"
#include "ui/processing/composite_windows.h"
#include "ui/folder_chooser.h"
#include "ui/spectrum/high_order_window.h"
#include "ui/processing/processing_panel.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/spectrum/spectrum_windows.h"

namespace lv {
namespace {

// 40 x 20, 16-bit: every pixel of row y is 10 + y, column 5 of row 9 is 500.
std::string bandFrame()
{
    std::vector<std::uint16_t> raw;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) raw.push_back(static_cast<std::uint16_t>(x == 5 && y == 9 ? 500 : 10 + y));
    return test::simpleFits(16, 40, 20, {}, test::bytes16(raw));
}

bool closed(const QWidget* w) { return !w || !w->isVisible(); }

class SpectrumWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        start(put("band.fit", bandFrame()));
    }
    SpectrumPanel& panel() const { return main->spectrumPanel(); }
    void clickImage(int x, int y, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* view = main->imageWindow()->view();
        QTest::mouseClick(view, Qt::LeftButton, mods, QPoint(x, y));
    }
};

TEST_F(SpectrumWindowTest, BinningWindowSetsZonesAndBins)
{
    trigger("utility_menu_binning_make");
    ASSERT_NE(panel().binningWindow(), nullptr);
    ASSERT_NE(panel().curveWindow(), nullptr);
    ASSERT_NE(panel().highOrderWindow(), nullptr);
    EXPECT_TRUE(session.state.lineDisplay);
    EXPECT_EQ(session.state.lineRow, 10);  // the middle row of 20
    BinningWindow* w = panel().binningWindow();

    clickImage(3, 4);  // a left click picks the line
    EXPECT_EQ(session.state.lineRow, 4);
    EXPECT_EQ(panel().curveWindow()->windowTitle(), "Intensity Curve : y = 4");
    w->findChild<QPushButton*>("Command1")->click();  // Set Upper
    w->findChild<QPushButton*>("Command4")->click();  // Down
    w->findChild<QPushButton*>("Command4")->click();
    EXPECT_EQ(session.state.lineRow, 6);
    w->findChild<QPushButton*>("Command2")->click();  // Set Lower
    EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text(), " 4");
    EXPECT_EQ(w->findChild<QLineEdit*>("Text2")->text(), " 6");

    // When "Completion" shows, the statistics line already describes the binned image.
    platform.onShown = [this](const ScriptedPlatform::Shown& shown) {
        if (shown.text.rfind("Completion", 0) != 0) return;
        EXPECT_EQ(main->findChild<QLabel*>("Label4")->text().toStdString(), statisticsLine(session.image));
    };
    w->findChild<QPushButton*>("Command6")->click();  // Binning Execution
    platform.onShown = nullptr;
    EXPECT_EQ(main->findChild<QLabel*>("Label4")->text().toStdString(), statisticsLine(session.image));
    // Rows 4, 5, 6 of every column: 14 + 15 + 16.
    for (int y = 4; y <= 6; ++y) EXPECT_EQ(session.image.at(0, y), 45) << y;
    EXPECT_EQ(session.image.at(0, 7), 17);
    EXPECT_EQ(platform.messageTexts().back(), "Completion\rmax = 500 / min = 45");
    EXPECT_TRUE(closed(panel().binningWindow()));
    EXPECT_TRUE(closed(main->imageWindow()));
    trigger("utility_menu_undo");
    EXPECT_EQ(session.image.at(0, 5), 15);
}

TEST_F(SpectrumWindowTest, CurveBarsCurveFilesAndTheFittedCurve)
{
    trigger("utility_menu_binning_save");
    CurveWindow* curve = panel().curveWindow();
    CurveFileWindow* file = panel().fileWindow();
    ASSERT_NE(curve, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(curve->offsetBar()->value(), 255);
    EXPECT_EQ(curve->scaleBar()->value(), 255);
    curve->offsetBar()->setValue(265);
    EXPECT_EQ(curve->view()->offset, 10);
    curve->scaleBar()->setValue(0);
    EXPECT_EQ(curve->view()->scale, 1);

    EXPECT_EQ(file->findChild<QLineEdit*>("Text3")->text().toStdString(), dir.file("band.txt"));
    file->findChild<QPushButton*>("Command5")->click();  // Save to disk
    EXPECT_EQ(platform.messageTexts().back(), "Completion ,save to " + dir.file("band.txt"));
    const std::string text = test::readFile(dir.file("band.txt"));
    // Row 10, every value 20: the number, then the next 14-character zone.
    EXPECT_EQ(text.substr(0, 19), " 0" + std::string(13, ' ') + "20 \r");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.file("band.djm"))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir.file("band-inv.djm"))));

    // Inclination compensation and its own UnDo on the current line.
    session.image.at(0, 10) = 40;
    file->findChild<QPushButton*>("Command3")->click();
    EXPECT_NE(session.image.at(0, 10), 40);
    file->findChild<QPushButton*>("Command4")->click();
    EXPECT_EQ(session.image.at(0, 10), 40);

    // The high-order fit draws its yellow curve over the intensity curve.
    curve->scaleBar()->setValue(255);
    curve->offsetBar()->setValue(255);
    auto hasYellow = [&] {
        for (Rgb c : curve->view()->picture().points)
            if (c == rgb(255, 255, 0)) return true;
        return false;
    };
    EXPECT_FALSE(hasYellow());
    panel().highOrderWindow()->accept();
    EXPECT_TRUE(hasYellow());
}

TEST_F(SpectrumWindowTest, HorizontalGraphOpensOnShiftClickAndSteps)
{
    clickImage(5, 9, Qt::ShiftModifier);
    HorizontalGraphWindow* g = panel().graphWindow();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->windowTitle(), "horizontal graph");
    EXPECT_EQ(g->graph().centre, 5);
    EXPECT_EQ(g->graph().row, 9);
    const std::vector<Rgb> first = g->picture().points;
    g->findChild<QPushButton*>("Command3")->click();  // Zoom U
    g->findChild<QPushButton*>("Command3")->click();
    EXPECT_NE(g->picture().points, first);
    g->findChild<QPushButton*>("Command4")->click();  // Zoom D
    g->findChild<QPushButton*>("Command4")->click();
    EXPECT_NEAR(g->graph().zoom, 1.0, 1e-12);
    EXPECT_EQ(g->picture().points, first);
    g->findChild<QPushButton*>("Command5")->click();  // Level U
    EXPECT_EQ(g->graph().level, -10);
    g->findChild<QPushButton*>("Command1")->click();  // Line U
    EXPECT_EQ(g->graph().row, 10);
    for (int i = 0; i < 3; ++i) g->findChild<QPushButton*>("Command2")->click();
    EXPECT_EQ(g->graph().row, 7);
}

TEST_F(SpectrumWindowTest, CompositeAndBzeroWindowsRunTheirJobs)
{
    QDir(QString::fromStdString(dir.path().string())).mkdir("set");
    const std::string set = dir.file("set");
    for (const char* n : {"a.fit", "b.fit", "c.fit"}) test::writeFile(set + "/" + n, bandFrame());
    trigger("utility_menu_continuous_composite");
    CompositeWindow* c = main->processingPanel().compositeWindow();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->pictures(), 3);
    c->chooser().chooseFolder(QString::fromStdString(set));
    c->chooser().sort();
    EXPECT_EQ(c->chooser().list()->toPlainText(), "a.fit\nb.fit\nc.fit\n");
    c->accept();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(set + "/c3_b.fit")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(set + "/c3_a.fit")));

    trigger("utility_menu_continuous_bzero");
    BzeroWindow* b = main->processingPanel().bzeroWindow();
    ASSERT_NE(b, nullptr);
    b->findChild<QLineEdit*>("Text2")->setText("not a number");
    b->accept();
    EXPECT_NE(platform.messageTexts().back().find("not a number"), std::string::npos);
    EXPECT_TRUE(b->isVisible());
}

}  // namespace
}  // namespace lv
