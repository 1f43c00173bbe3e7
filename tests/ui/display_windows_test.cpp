// The histogram, header, picture export and progress windows, driven through
// their named controls on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <filesystem>
#include <limits>

#include "core/platform.h"
#include "app/session.h"
#include "ui/display/export_window.h"
#include "ui/display/header_window.h"
#include "ui/display/histogram_window.h"
#include "display/picture_names.h"
#include "ui/display/progress_window.h"
#include "fits_builder.h"
#include "owned_window.h"

namespace lv {
namespace {

using test::Owned;

// 25 x 10 values between 0 and 300: 199 at 0, 50 at 100, one at 300.
// Over the whole range that is bar 0 = 199, bar 100 = 50, bar 299 = 1, so the
// tallest bar is 199 and the scale of 200 units maps one count to one pixel.
void fillThreeLevels(FitsImage& image)
{
    image.naxis1 = 25;
    image.naxis2 = 10;
    image.allocate(25, 10, 1);
    for (int i = 0; i < 250; ++i) image.at(i % 25, i / 25) = i < 199 ? 0 : i < 249 ? 100 : 300;
    image.minValue = 0;
    image.maxValue = 300;
}

// Rows of column x that are green, as [first, last]; {-1, -1} when none.
std::pair<int, int> greenRows(const QImage& pic, int x)
{
    int first = -1, last = -1;
    for (int y = 0; y < pic.height(); ++y) {
        if (pic.pixel(x, y) == HistogramWindow::kBar) {
            if (first < 0) first = y;
            last = y;
        } else if (pic.pixel(x, y) != HistogramWindow::kBlank) {
            return {-2, y};  // another colour in the column
        }
    }
    return {first, last};
}

struct HistogramTest : ::testing::Test {
    Session session;
    ScriptedPlatform platform;
    int accepted = 0;
    Owned<HistogramWindow> open()
    {
        return Owned<HistogramWindow>(new HistogramWindow(session, platform, [this] { ++accepted; }));
    }
};

TEST_F(HistogramTest, PicksMoveLevelsAndOkHandsThemOverUnchanged)
{
    session.image.naxis1 = session.image.naxis2 = 2;
    session.image.allocate(2, 2, 1);
    session.image.minValue = 0;
    session.image.maxValue = 3000;
    session.state.background = 1000;
    session.state.range = 1000;
    auto win = open();
    EXPECT_EQ(win->objectName(), "Form14");
    EXPECT_EQ(win->windowTitle(), "Histgram");
    EXPECT_EQ(win.child<QLineEdit>("Text1")->text(), "1000");

    // 150 of 300 over 0 ... 3000 is 1500; the top (2000) stays where it was.
    win->pick(150, Qt::LeftButton);
    EXPECT_EQ(win->pickBackground(), 1500);
    EXPECT_EQ(win->pickRange(), 500);
    EXPECT_EQ(win.child<QLineEdit>("Text1")->text(), "1500");
    EXPECT_EQ(win.child<QLineEdit>("Text2")->text(), "500");

    // A top left of the background: 1000 - 1500.
    win->pick(100, Qt::RightButton);
    EXPECT_EQ(win->pickBackground(), 1500);
    EXPECT_EQ(win->pickRange(), -500);
    EXPECT_EQ(win.child<QLineEdit>("Text2")->text(), "-500");
    EXPECT_EQ(session.state.range, 1000) << "nothing changes before OK";

    win.press("Command1");
    EXPECT_EQ(session.state.background, 1500);
    EXPECT_EQ(session.state.range, -500);
    EXPECT_EQ(accepted, 1);
    EXPECT_TRUE(win.w.isNull() || !win->isVisible());
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_EQ(platform.busyDepth, 0);
}

TEST_F(HistogramTest, ZoomedPicksUseThePickAndCancelKeepsTheLevels)
{
    fillThreeLevels(session.image);
    session.state.background = 1000;
    session.state.range = 1000;
    auto win = open();
    win.press("Command3");
    ASSERT_TRUE(win->zoomed());
    // Over 1000 ... 2000: 75 of 300 is 1250, then 240 of 300 over 1250 ... 2000 is 1850.
    win->pick(75, Qt::LeftButton);
    EXPECT_EQ(win->pickBackground(), 1250);
    EXPECT_EQ(win->pickRange(), 750);
    win->pick(240, Qt::MiddleButton);
    EXPECT_EQ(win->pickRange(), 600);
    win.press("Command2");
    EXPECT_EQ(session.state.background, 1000);
    EXPECT_EQ(session.state.range, 1000);
    EXPECT_EQ(accepted, 0);
}

TEST_F(HistogramTest, PicksNearTheEndsOfTheIntegerRangeSaturate)
{
    fillThreeLevels(session.image);
    session.state.background = 2'000'000'000;
    session.state.range = 2'000'000'000;
    auto win = open();
    // Top 4e9 less 300 does not fit: the largest range instead of a wrap.
    win->pick(300, Qt::LeftButton);
    EXPECT_EQ(win->pickBackground(), 300);
    EXPECT_EQ(win->pickRange(), std::numeric_limits<std::int32_t>::max());

    session.state.background = std::numeric_limits<std::int32_t>::min();
    session.state.range = 10;
    win.press("Command4");
    win->pick(300, Qt::RightButton);
    EXPECT_EQ(win->pickRange(), std::numeric_limits<std::int32_t>::max());
}

TEST_F(HistogramTest, BarsAreDrawnFromTheBottomInScale)
{
    fillThreeLevels(session.image);
    session.state.background = 0;
    session.state.range = 600;
    auto win = open();
    const QImage& pic = win->picture();
    ASSERT_EQ(pic.width(), 301);
    ASSERT_EQ(pic.height(), 200);
    EXPECT_EQ(win->bins()[0], 199);
    EXPECT_EQ(win->bins()[100], 50);
    EXPECT_EQ(win->bins()[299], 1);
    EXPECT_EQ(greenRows(pic, 0), std::make_pair(1, 199));
    EXPECT_EQ(greenRows(pic, 100), std::make_pair(150, 199));
    EXPECT_EQ(greenRows(pic, 299), std::make_pair(199, 199));
    EXPECT_EQ(greenRows(pic, 50), std::make_pair(-1, -1));
    EXPECT_EQ(greenRows(pic, 300), std::make_pair(-1, -1));

    // Markers: the low one moves away from column 100, whose bar comes back.
    win->pick(100, Qt::LeftButton);
    EXPECT_EQ(pic.pixel(100, 0), HistogramWindow::kLowMarker);
    EXPECT_EQ(pic.pixel(100, 199), HistogramWindow::kLowMarker);
    win->pick(120, Qt::LeftButton);
    EXPECT_EQ(greenRows(pic, 100), std::make_pair(150, 199));
    EXPECT_EQ(pic.pixel(120, 100), HistogramWindow::kLowMarker);
    win->pick(200, Qt::RightButton);
    EXPECT_EQ(pic.pixel(200, 0), HistogramWindow::kHighMarker);
}

TEST_F(HistogramTest, ZoomThenResetRestoresWholeRangeAndLevels)
{
    fillThreeLevels(session.image);
    session.state.background = 0;
    session.state.range = 600;
    auto win = open();
    win->pick(3, Qt::RightButton);  // range 3: the zoom then covers 0 ... 3 only
    win->pick(0, Qt::LeftButton);
    ASSERT_EQ(win->pickRange(), 3);
    win.press("Command3");
    // Over 0 ... 3 only the 199 zeros fall inside (bin 0); 100 and 300 are beyond 300.
    EXPECT_EQ(win->bins()[0], 199);
    EXPECT_EQ(win->bins()[100], 0);
    win.press("Command4");
    EXPECT_FALSE(win->zoomed());
    EXPECT_EQ(win->bins(), wholeRangeBins(session.image));
    EXPECT_EQ(win->pickBackground(), 0);
    EXPECT_EQ(win->pickRange(), 600);
    EXPECT_EQ(win.child<QLineEdit>("Text2")->text(), "600");
    EXPECT_EQ(greenRows(win->picture(), 100), std::make_pair(150, 199));
    EXPECT_EQ(greenRows(win->picture(), 3), std::make_pair(-1, -1)) << "the markers are wiped";

    // Zooming on this pick: 0 -> bin 0, 100 -> bin 50, 300 -> bin 150.
    win.press("Command3");
    EXPECT_EQ(win->bins()[50], 50);
    EXPECT_EQ(win->bins()[150], 1);
    EXPECT_EQ(greenRows(win->picture(), 50), std::make_pair(150, 199));
    EXPECT_EQ(greenRows(win->picture(), 100), std::make_pair(-1, -1));
}

TEST_F(HistogramTest, ConstantImageAndZeroRangeDrawNothing)
{
    fillThreeLevels(session.image);
    session.image.minValue = session.image.maxValue = 100;
    session.state.range = 0;
    auto win = open();
    auto allWhite = [&] {
        for (int x = 0; x < 301; ++x)
            if (greenRows(win->picture(), x) != std::make_pair(-1, -1)) return false;
        return true;
    };
    EXPECT_TRUE(allWhite());
    win.press("Command3");
    EXPECT_TRUE(allWhite());
    EXPECT_TRUE(platform.shown.empty());
}

TEST(HeaderWindowTest, ShowsEveryRecordWholeAndKeepsItsPlace)
{
    Session session;
    session.image.fileName = "/data/m31.fts";
    session.image.cards = {test::card("SIMPLE", "T"), test::card("BITPIX", "16"),
                           test::rawCard("COMMENT  trailing blanks stay   "), test::endCard()};
    session.settings.window(SettingsWindow::Header) = {300.0 * kTwipsPerPixel, 200.0 * kTwipsPerPixel, true};
    Owned<HeaderWindow> win(new HeaderWindow(session));
    EXPECT_EQ(win->objectName(), "Form3");
    EXPECT_EQ(win->windowTitle(), "/data/m31.fts");
    EXPECT_EQ(win->geometry().topLeft(), QPoint(300, 200));

    auto* text = win.child<QPlainTextEdit>("Text1");
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    const QStringList lines = text->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].size(), 80);
        EXPECT_EQ(lines[i].toStdString(), session.image.cards[static_cast<std::size_t>(i)]);
    }
    EXPECT_TRUE(lines[3].startsWith("END "));
    EXPECT_EQ(lines[4], "");

    // 100 and 400 twips less than the window, after every resize.
    win->resize(600, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(text->size(), QSize(593, 373));

    win->setGeometry(QRect(QPoint(100, 50), win->size()));
    win->close();
    const WindowPosition& saved = session.settings.window(SettingsWindow::Header);
    EXPECT_TRUE(saved.known);
    EXPECT_EQ(saved.left, 1500.0);
    EXPECT_EQ(saved.top, 750.0);
}

TEST(PictureNamesTest, DefaultNamesDropFolderAndExtension)
{
    EXPECT_EQ(defaultPictureName("/data/obs/m31.fts"), "m31.bmp");
    EXPECT_EQ(defaultPictureName("C:\\obs\\m31.red.fts"), "m31.red.bmp");
    EXPECT_EQ(defaultPictureName("m31.fts"), "m31.bmp");
    EXPECT_EQ(defaultPictureName("/data/obs/m31"), "/data/obs/m31");
    EXPECT_EQ(jpegNameFor("/data/a.b.bmp"), "/data/a.b.jpg");
    EXPECT_EQ(jpegNameFor("a.b"), "a.jpg");
}

struct ExportTest : ::testing::Test {
    Session session;
    ScriptedPlatform platform;
    test::TempDir dir;
    RgbPicture picture{3, 2};
    ExportTest()
    {
        const Rgb colours[] = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(0, 0, 0), rgb(128, 64, 32), rgb(255, 255, 255)};
        for (int i = 0; i < 6; ++i) picture.at(i % 3, i / 3) = colours[i];
        session.image.fileName = dir.file("m31.fts");
    }
    Owned<PictureExportWindow> open() { return Owned<PictureExportWindow>(new PictureExportWindow(session, platform, picture)); }
};

TEST_F(ExportTest, QualityIsTakenOnlyInsideItsRange)
{
    auto win = open();
    EXPECT_EQ(win->objectName(), "Form19");
    EXPECT_EQ(win->windowTitle(), "Image save to BMP & JPEG");
    EXPECT_EQ(win.child<QLineEdit>("Text1")->text(), "m31.bmp");
    auto* quality = win.child<QLineEdit>("Text2");
    auto* check = win.child<QCheckBox>("Check1");
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(quality->isEnabled());
    check->click();
    EXPECT_TRUE(quality->isEnabled());

    EXPECT_EQ(win->jpegQuality(), 50);
    quality->setText("150");
    EXPECT_EQ(win->jpegQuality(), 50);
    quality->setText("75");
    EXPECT_EQ(win->jpegQuality(), 75);
    quality->setText("-1");
    EXPECT_EQ(win->jpegQuality(), 75);
    quality->setText("100.5");  // half to even
    EXPECT_EQ(win->jpegQuality(), 100);
    quality->setText("12abc");
    EXPECT_EQ(win->jpegQuality(), 12);
    check->click();
    EXPECT_FALSE(quality->isEnabled());
}

TEST_F(ExportTest, SavesBmpPixelForPixelAndJpegBeside)
{
    auto win = open();
    const std::string bmp = dir.file("out.v1.bmp");
    win.child<QLineEdit>("Text1")->setText(QString::fromStdString(bmp));
    win.child<QCheckBox>("Check1")->click();
    win.child<QLineEdit>("Text2")->setText("75");
    win.press("Command1");
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_TRUE(win.w.isNull() || !win->isVisible());

    QImage back(QString::fromStdString(bmp), "BMP");
    ASSERT_EQ(back.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(back.pixel(x, y), picture.at(x, y)) << x << "," << y;
    QImage jpeg(QString::fromStdString(dir.file("out.v1.jpg")), "JPG");
    EXPECT_EQ(jpeg.size(), QSize(3, 2));
}

TEST_F(ExportTest, UnwritableFilesAreReportedAndTheWindowStays)
{
    auto win = open();
    const std::string bad = dir.file("no-such-folder/x.bmp");
    win.child<QLineEdit>("Text1")->setText(QString::fromStdString(bad));
    win.press("Command1");
    ASSERT_EQ(platform.messageTexts(), std::vector<std::string>{bad + ": the picture cannot be written"});
    EXPECT_TRUE(win->isVisible());

    // The BMP goes through but a folder stands where the JPEG would go.
    std::filesystem::create_directory(dir.file("y.jpg"));
    win.child<QLineEdit>("Text1")->setText(QString::fromStdString(dir.file("y.bmp")));
    win.child<QCheckBox>("Check1")->click();
    win.press("Command1");
    ASSERT_EQ(platform.messageTexts().size(), 2u);
    EXPECT_EQ(platform.messageTexts()[1], dir.file("y.jpg") + ": the picture cannot be written");
    EXPECT_TRUE(std::filesystem::exists(dir.file("y.bmp")));
    EXPECT_TRUE(win->isVisible());
    win.press("Command2");
    EXPECT_TRUE(win.w.isNull() || !win->isVisible());
}

TEST(ProgressWindowTest, CentredEachTimeItIsShown)
{
    ProgressWindow win;
    EXPECT_EQ(win.objectName(), "Form8");
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    auto expected = [&] {
        const QSize size = win.frameGeometry().size();
        return QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2);
    };
    win.showCentred("Reading", "frame 1");
    EXPECT_TRUE(win.isVisible());
    EXPECT_EQ(win.pos(), expected());
    EXPECT_EQ(win.windowTitle(), "Reading");
    EXPECT_EQ(win.findChild<QLabel*>("Label1")->text(), "frame 1");

    win.move(5, 7);
    win.showCentred("Writing", "frame 2");
    EXPECT_EQ(win.pos(), expected());
    win.setText("frame 3");
    win.setCaption("Done");
    EXPECT_EQ(win.findChild<QLabel*>("Label1")->text(), "frame 3");
    EXPECT_EQ(win.windowTitle(), "Done");
}

}  // namespace
}  // namespace lv
