// The PositionSet, sky area and comparison-star windows, driven through
// their named controls on the offscreen platform.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <string>
#include <vector>

#include "core/platform.h"
#include "app/session.h"
#include "owned_window.h"
#include "ui/photometry/comparison_star_window.h"
#include "ui/photometry/position_set_window.h"
#include "ui/photometry/sky_area_window.h"

namespace lv {
namespace {

using test::Owned;

struct PhotometryWindowTest : ::testing::Test {
    Session session;
    ScriptedPlatform platform;
    PhotometryState& st = session.photometry;
    std::vector<std::string> calls;
    // "late" would mean a position moved before the markers came off.
    std::function<void()> markersOff = [this] {
        calls.push_back(st.slotPositions[kComparison] == PixelPosition{} ? "off" : "late");
    };
    std::function<void()> fieldsChanged = [this] { calls.push_back("fields"); };

    Owned<PositionSetWindow> positionSet(SkyMode mode)
    {
        st.settings.skyMode = mode;
        return Owned(new PositionSetWindow(session, {100, 50}, "100", "50", {40, 30}, markersOff,
                                           fieldsChanged));
    }
    Owned<SkyAreaWindow> skyArea() { return Owned(new SkyAreaWindow(session, platform, markersOff, fieldsChanged)); }
    void expectStored(int size, double inside, double outside) const
    {
        EXPECT_EQ(st.settings.apertureSize, size);
        EXPECT_EQ(st.settings.skyInner, inside);
        EXPECT_EQ(st.settings.skyOuter, outside);
    }
};

std::vector<QString> childTexts(const QWidget* w, const std::string& prefix, int count)
{
    std::vector<QString> texts;
    for (int i = 1; i <= count; ++i)
        if (auto* b = w->findChild<QAbstractButton*>(QString::fromStdString(prefix + std::to_string(i))))
            texts.push_back(b->text());
    return texts;
}

TEST_F(PhotometryWindowTest, PositionSetStarButtonSetsStarAndSkyBetweenMarkersOffAndRefresh)
{
    auto win = positionSet(SkyMode::Aperture);
    EXPECT_EQ(win->objectName(), "Form5");
    EXPECT_EQ(win->windowTitle(), "PositionSet");
    EXPECT_EQ(win.child<QLabel>("Label1")->text(), "100 / 50");
    EXPECT_EQ(win->pos(), QPoint(40, 30));
    EXPECT_EQ(childTexts(win.w, "Command", 7), (std::vector<QString>{"Comparison", "Sky for comp.", "Variable",
                                                                     "Sky for var.", "Check star", "Sky for check"}));
    win.press("Command1");
    EXPECT_EQ(st.slotPositions[kComparison], (PixelPosition{100, 50}));
    EXPECT_EQ(st.slotPositions[kComparisonSky], (PixelPosition{120, 50}));
    EXPECT_EQ(st.fieldX[kComparison] + st.fieldY[kComparison], " 100 50");
    EXPECT_EQ(st.fieldX[kComparisonSky] + st.fieldY[kComparisonSky], " 120 50");
    EXPECT_EQ(st.slotPositions[kVariable], PixelPosition{});
    EXPECT_EQ(calls, (std::vector<std::string>{"off", "fields"}));
    EXPECT_TRUE(win.closed());
}

TEST_F(PhotometryWindowTest, PositionSetSkyButtonsAndTheMedianForm)
{
    for (auto [button, slot] : {std::pair{"Command2", 2}, {"Command4", 4}, {"Command6", 6}}) {
        st = PhotometryState{};
        positionSet(SkyMode::Aperture).press(button);
        for (int s = 1; s <= kSlots; ++s)
            EXPECT_EQ(st.fieldPosition(s), (s == slot ? PixelPosition{100, 50} : PixelPosition{})) << button << s;
    }
    st = PhotometryState{};
    auto win = positionSet(SkyMode::Median);
    EXPECT_EQ(win->objectName(), "Form10");
    EXPECT_EQ(childTexts(win.w, "Command", 7), (std::vector<QString>{"Comparison", "Variable", "Check star"}));
    win.press("Command2");
    EXPECT_EQ(st.slotPositions[kVariable], (PixelPosition{100, 50}));
    EXPECT_EQ(st.slotPositions[kVariableSky], (PixelPosition{120, 50}));
}

TEST_F(PhotometryWindowTest, SkyAreaOpening)
{
    auto win = skyArea();
    EXPECT_EQ(win->objectName(), "Form11");
    EXPECT_EQ(win->windowTitle(), "Size Set (Aperture 3 radii)");
    EXPECT_EQ(win.text("Text1") + win.text("Text2") + win.text("Text3"), " 3 10 20");
    EXPECT_TRUE(win.child("Text2")->isEnabled() && win.child("Text3")->isEnabled());
    EXPECT_EQ(calls, std::vector<std::string>{"off"});
    EXPECT_TRUE(platform.shown.empty());

    st.settings.apertureShape = ApertureShape::Square;
    st.settings.skyMode = SkyMode::Aperture;
    auto square = skyArea();
    EXPECT_EQ(square->windowTitle(), "Size Set (Aperture 3x 3)");
    EXPECT_FALSE(square.child("Text2")->isEnabled() || square.child("Text3")->isEnabled());
}

TEST_F(PhotometryWindowTest, SkyAreaRejectsAndStoresNothing)
{
    st.settings.apertureSize = 10;
    auto win = skyArea();
    EXPECT_EQ(platform.messageTexts(), std::vector<std::string>{"the Sky Area is too small. Please change"});
    win.type("Text3", "30");
    win.press("Command1");
    EXPECT_EQ(platform.messageTexts().back(), "Aperture > Sky , error");
    win.type("Text1", "0");
    win.press("Command1");
    EXPECT_EQ(platform.messageTexts().back(), "Aperture size error");
    expectStored(10, 10, 20);
    EXPECT_EQ(calls, std::vector<std::string>{"off"});
    EXPECT_FALSE(win.closed());
}

TEST_F(PhotometryWindowTest, SkyAreaStandardAndOk)
{
    auto win = skyArea();
    win.press("Command3");
    EXPECT_EQ(win.text("Text2") + win.text("Text3"), " 10 20");
    win.type("Text1", "6.7");  // only the whole part counts
    EXPECT_EQ(win->size(), 6);
    win.press("Command3");
    EXPECT_EQ(win.text("Text2") + win.text("Text3"), " 12 24");
    expectStored(3, 10, 20);
    win.press("Command1");
    expectStored(6, 12, 24);
    EXPECT_EQ(calls, (std::vector<std::string>{"off", "fields"}));
    EXPECT_TRUE(win.closed());

    st.settings.apertureShape = ApertureShape::Square;
    st.settings.apertureSize = 3;
    auto square = skyArea();
    square.press("Command3");
    EXPECT_EQ(square.text("Text2") + square.text("Text3"), " 6 12");
}

TEST_F(PhotometryWindowTest, ComparisonStarShowsAndStores)
{
    st.comparison = {"RZ Cas", 10.5, 1, "XYZ"};
    st.reportTexts.colour = "V";
    auto win = Owned(new ComparisonStarWindow(session));
    EXPECT_EQ(win->windowTitle(), "Comparison Star Magnitude Input");
    EXPECT_EQ(win.text("Text1") + "|" + win.text("Text2") + "|" + win.text("Text3"), "RZ Cas| 10.5|XYZ");
    EXPECT_TRUE(win.child<QRadioButton>("Option2")->isChecked());
    win.type("Text2", "10,5");
    win.press("Option3");
    win.press("Command1");
    EXPECT_EQ(st.comparison.comparisonMagnitude, 10);
    EXPECT_EQ(st.comparison.filterIndex, 2);
    EXPECT_EQ(st.reportTexts.colour, "Rc");
    EXPECT_EQ(st.reportTexts.comparisonMagnitude, "10,5");
    EXPECT_TRUE(win.closed());

    auto again = Owned(new ComparisonStarWindow(session));
    EXPECT_TRUE(again.child<QRadioButton>("Option3")->isChecked());
    again.press("Option5");
    again.press("Command1");
    EXPECT_EQ(st.comparison.filterIndex, -1);
    EXPECT_EQ(st.reportTexts.colour, "Rc");
}

}  // namespace
}  // namespace lv
