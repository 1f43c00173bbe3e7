// The processing commands from the main window's menus and windows.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/image_commands.h"
#include "fits_builder.h"
#include "main_window_fixture.h"
#include "ui/main_window.h"
#include "ui/processing/calculation_window.h"
#include "ui/spectrum/high_order_window.h"
#include "ui/processing/processing_panel.h"
#include "ui/spectrum/spectrum_panel.h"

namespace lv {
namespace {

// 8 x 3, 16-bit: a linear ramp per row, one hot pixel.
std::string rampFrame()
{
    std::vector<std::uint16_t> raw;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) raw.push_back(static_cast<std::uint16_t>(100 + 10 * x + y));
    raw[1 * 8 + 2] = 5000;
    return test::simpleFits(16, 8, 3, {}, test::bytes16(raw));
}

class ProcessingWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        start(put("ramp.fit", rampFrame()));
        before = session.image.pixels;
    }
    QAction* item(const char* name) const { return find<QAction>(name); }
    PixelVector before;
};

TEST_F(ProcessingWindowTest, EveryNoiseFilterAsksFiltersAndCanBeUndone)
{
    const char* items[] = {"utility_menu_noize_filter", "utility_menu_noize_3point", "utility_menu_noize_5point",
                           "utility_menu_noize_gra_ave", "utility_menu_noize_gra_median",
                           "utility_menu_noize_5th_function"};
    for (const char* name : items) {
        platform.shown.clear();
        trigger(name);
        EXPECT_NE(session.image.pixels, before) << name;
        EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"completion"})) << name;
        ASSERT_TRUE(item("utility_menu_undo")->isEnabled()) << name;
        trigger("utility_menu_undo");
        EXPECT_EQ(session.image.pixels, before) << name;
    }
    // Cancel changes nothing and offers no undo.
    platform.answers = {false};
    trigger("utility_menu_noize_3point");
    EXPECT_EQ(session.image.pixels, before);
    EXPECT_FALSE(item("utility_menu_undo")->isEnabled());
}

TEST_F(ProcessingWindowTest, CalculationWindowMultipliesAndSetsTheFileReadCalculation)
{
    trigger("utility_menu_calculation");
    CalculationWindow* w = main->processingPanel().calculationWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Calculation");
    EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text(), "100.0");
    w->findChild<QLineEdit*>("Text1")->setText("0.5");
    w->findChild<QCheckBox*>("Check1")->setChecked(true);
    w->findChild<QPushButton*>("Command3")->click();  // Multiplication
    EXPECT_EQ(session.image.at(0, 0), 50);           // 100 x 0.5
    EXPECT_EQ(session.image.at(1, 0), 55);
    EXPECT_EQ(session.state.readCalcMode, 1);
    EXPECT_EQ(session.state.readCalcValue, 0.5);
    EXPECT_FALSE(w->isVisible());
    ASSERT_NE(main->imageWindow(), nullptr);

    // A file read now is halved as well.
    trigger("file_menu_open");
    // (the open itself is covered elsewhere; here the reading option)
    Session other;
    other.state = session.state;
    ScriptedPlatform quiet;
    ASSERT_TRUE(openImage(other, {dir.file("ramp.fit"), OpenWay::Command}, quiet).opened);
    EXPECT_EQ(other.image.at(0, 0), 50);

    trigger("utility_menu_undo");
    EXPECT_EQ(session.image.pixels, before);
}

TEST_F(ProcessingWindowTest, AllLineInclinationShowsTheRowsAndFlattensThem)
{
    trigger("utility_menu_calculation");
    CalculationWindow* w = main->processingPanel().calculationWindow();
    w->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(w->lineLabel()->text(), "Line : 2");
    EXPECT_EQ(session.state.lineRow, 2);
    // Row 0 rose linearly from 100 to 170: flat at its value at column 4 (140).
    for (int x = 0; x < 8; ++x) EXPECT_EQ(session.image.at(x, 0), 140) << x;
}

TEST_F(ProcessingWindowTest, BadBowTableChangesNothing)
{
    test::writeFile(dir.file("bow.csv"), "0,1\n1;2\n");
    trigger("utility_menu_bow");
    EXPECT_EQ(session.image.pixels, before);
    ASSERT_FALSE(platform.messageTexts().empty());
    EXPECT_NE(platform.messageTexts().back().find("line 2"), std::string::npos) << platform.messageTexts().back();

    test::writeFile(dir.file("bow.csv"), "0,1\n");
    trigger("utility_menu_bow");
    EXPECT_EQ(session.image.at(1, 0), 100);  // moved one column to the right
    EXPECT_EQ(session.image.at(0, 0), 100);  // column 0 keeps its value
    EXPECT_EQ(session.image.at(7, 0), 160);
}

TEST_F(ProcessingWindowTest, HighOrderWindowFitsTheChosenDegree)
{
    session.state.lineRow = 0;
    HighOrderWindow* w = main->spectrumPanel().openHighOrderWindow();
    EXPECT_EQ(w->objectName(), "Form20");
    EXPECT_EQ(w->degrees()->currentText(), "5");
    EXPECT_EQ(w->findChild<QLabel*>("Label2")->text(), "y = 0");
    w->degrees()->setCurrentIndex(0);  // "2"
    w->accept();
    EXPECT_EQ(session.processing.fit.degree, 2);
    // Row 0 is 100 + 10 x: the parabola's coefficients are 0, 10 and 100.
    EXPECT_NEAR(session.processing.fit.matrix[0][3], 0.0, 1e-9);
    EXPECT_NEAR(session.processing.fit.matrix[1][3], 10.0, 1e-9);
    EXPECT_NEAR(session.processing.fit.matrix[2][3], 100.0, 1e-9);

    w->degrees()->setCurrentIndex(-1);
    w->accept();
    EXPECT_EQ(session.processing.fit.degree, 2);
    EXPECT_NE(platform.messageTexts().back().find("degree"), std::string::npos);
}

}  // namespace
}  // namespace lv
