// The desktop application driven by object names, as a user would drive it.
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QListView>
#include <QTreeView>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "display/grey_mapping.h"
#include "ui/display/image_window.h"
#include "fits_builder.h"
#include "main_window_fixture.h"
#include "ui/file_dialog.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {
namespace {

using test::card;

// A 16-bit frame with BZERO 32768: value (x, y) = 100 * y + x.
std::string gradientFrame(int w, int h)
{
    std::vector<std::uint16_t> raw;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) raw.push_back(static_cast<std::uint16_t>((100 * y + x) ^ 0x8000));
    return test::simpleFits(16, w, h, {card("BZERO", "32768"), card("BSCALE", "1")}, test::bytes16(raw));
}

class MainWindowTest : public test::MainWindowFixture {
protected:
    RgbPicture shownPicture() const { return main->imageWindow()->picture(); }
};

TEST_F(MainWindowTest, CommandLineFileOpensAndDraws)
{
    const std::string path = put("m31.fts", gradientFrame(8, 6));
    start(path);
    EXPECT_TRUE(platform.shown.empty());
    ASSERT_NE(main->imageWindow(), nullptr);
    EXPECT_EQ(main->imageWindow()->objectName(), "Form4");
    EXPECT_EQ(main->imageWindow()->windowTitle(), QString::fromStdString(path));
    EXPECT_EQ(find<QLabel>("Label4")->text(), "max 507 / min 0 / ave 254");
    // The automatic levels are in the boxes, with the leading space.
    EXPECT_EQ(text("Text1").toStdString(), numberText(session.state.range));
    EXPECT_EQ(text("Text2").toStdString(), numberText(session.state.background));
    const RgbPicture pic = shownPicture();
    ASSERT_EQ(pic.width, 8);
    ASSERT_EQ(pic.height, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pic.at(x, y), greyRgb(greyLevel(100 * y + x, session.state.background, session.state.range)));
    EXPECT_EQ(main->windowTitle(), "Lumavist ver5.06b");
}

TEST_F(MainWindowTest, WrongNameAtStartShowsTheMessageAndGoesOn)
{
    const std::string path = put("notes.txt", gradientFrame(4, 4));
    start(path);
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"This file is not FITS file"}));
    EXPECT_EQ(main->imageWindow(), nullptr);
    EXPECT_FALSE(session.image.loaded());
    EXPECT_EQ(find<QLabel>("Label4")->text(), "max 0 / min 0 / ave 0");
}

TEST_F(MainWindowTest, StartUpMessagesComeAfterTheWindowWithTheWarningSign)
{
    // Records whether the main window was on the screen at each message.
    struct Watching : ScriptedPlatform {
        QWidget* window = nullptr;
        std::vector<bool> visible;
        void error(std::string_view text, std::string_view title) override
        {
            visible.push_back(window && window->isVisible());
            ScriptedPlatform::error(text, title);
        }
    } watching;
    const std::string broken = put("broken.fit", "SIMPLE  =                    T");
    MainWindow window(session, watching);
    watching.window = &window;
    window.startUp(broken);
    ASSERT_EQ(watching.shown.size(), 2u);  // the reader's reason, then "File Open Error"
    EXPECT_EQ(watching.shown[1].text, "File Open Error");
    EXPECT_TRUE(watching.shown[0].error && watching.shown[1].error);
    EXPECT_EQ(watching.visible, (std::vector<bool>{true, true}));
    window.close();
}

TEST_F(MainWindowTest, SecondaryWindowsAreWideEnoughForTheirCaptions)
{
    start(put("a.fit", gradientFrame(4, 3)));
    for (const char* item : {"photometry_menu_comp_star", "photometry_menu_aperture_size", "utility_menu_calculation",
                             "display_menu_header", "display_menu_adjust", "file_menu_save_bmp",
                             "utility_menu_continuous_bzero", "utility_menu_continuous_composite"})
        trigger(item);
    int windows = 0;
    for (QWidget* w : main->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow() || !w->isVisible()) continue;
        EXPECT_GE(w->width(), captionWidth(w)) << w->objectName().toStdString() << " "
                                               << w->windowTitle().toStdString();
        ++windows;
    }
    EXPECT_GE(windows, 8);
}

TEST_F(MainWindowTest, ThreeRestartsKeepEveryWindowWhereItWas)
{
    start(put("p.fit", gradientFrame(4, 4)));
    const QPoint mainAt = main->geometry().topLeft();
    const QPoint imageAt = main->imageWindow()->geometry().topLeft();
    trigger("file_menu_exit");
    for (int round = 0; round < 3; ++round) {
        Session next;
        ScriptedPlatform quiet;
        MainWindow again(next, quiet);
        again.startUp(dir.file("p.fit"));
        EXPECT_EQ(again.geometry().topLeft(), mainAt) << round;
        ASSERT_NE(again.imageWindow(), nullptr);
        EXPECT_EQ(again.imageWindow()->geometry().topLeft(), imageAt) << round;
        again.close();
    }
}

// Under a window manager the frame lies around the window's inside, and
// arrives only after the window is shown: a place saved as one and restored
// as the other moved the window by its title bar at every start. Runs on an
// X server with a window manager (tests/ui/under_window_manager.sh).
TEST_F(MainWindowTest, UnderAWindowManagerRestartsKeepTheMainWindowWhereItWas)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server and a window manager";
    // Shown, and framed by the window manager.
    auto settle = [](QWidget* w) {
        const bool framed = QTest::qWaitForWindowExposed(w) &&
                            QTest::qWaitFor([w] { return w->frameGeometry().top() < w->geometry().top(); }, 5000);
        QTest::qWait(100);
        return framed;
    };
    start();
    ASSERT_TRUE(settle(main.get())) << "no window frame";
    main->move(300, 360);  // where the user put it
    QTest::qWait(200);
    const QPoint at = main->geometry().topLeft();
    const QPoint frameAt = main->frameGeometry().topLeft();
    EXPECT_EQ(frameAt, QPoint(300, 360));
    trigger("file_menu_exit");
    for (int round = 0; round < 3; ++round) {
        Session next;
        ScriptedPlatform quiet;
        MainWindow again(next, quiet);
        again.startUp({});
        again.show();
        ASSERT_TRUE(settle(&again)) << "no window frame, round " << round;
        EXPECT_EQ(again.geometry().topLeft(), at) << round;
        EXPECT_EQ(again.frameGeometry().topLeft(), frameAt) << round;
        again.close();
    }
}

TEST_F(MainWindowTest, AtFirstStartTheImageWindowOpensBesideTheMainWindow)
{
    start(put("p.fit", gradientFrame(4, 4)));
    const QRect mainArea = main->frameGeometry();
    const QRect imageArea = main->imageWindow()->frameGeometry();
    EXPECT_FALSE(mainArea.intersects(imageArea)) << mainArea.x() << "," << mainArea.y() << " " << mainArea.width() << "x" << mainArea.height() << " / " << imageArea.x() << "," << imageArea.y() << " " << imageArea.width();
    // Every window with no saved place yet was given one off the main window.
    for (std::size_t i = 1; i < session.settings.windows.size(); ++i) {
        const WindowPosition& w = session.settings.windows[i];
        const QPoint at(static_cast<int>(w.left / kTwipsPerPixel), static_cast<int>(w.top / kTwipsPerPixel));
        EXPECT_FALSE(mainArea.contains(at)) << i;
    }
}

TEST_F(MainWindowTest, TheZoomWindowShowsTheFrameAsSoonAsItOpens)
{
    start(put("g.fit", gradientFrame(40, 30)));
    main->openZoomWindow();
    ZoomWindow* zoom = main->zoomWindow();
    ASSERT_NE(zoom, nullptr);
    // Before the mouse was over the picture: around the middle of the frame.
    const Rgb middle = pictureColourAt(session.image, session.state, 20, 15);
    EXPECT_EQ(zoom->cell(0, 0), middle);
    for (const auto& [i, j] : {std::pair{-10, -10}, std::pair{10, 10}, std::pair{-3, 7}})
        EXPECT_EQ(zoom->cell(i, j), pictureColourAt(session.image, session.state, 20 + i, 15 + j)) << i << "," << j;
    // A square window, the cells filling it.
    EXPECT_EQ(zoom->width(), zoom->height());
}

TEST_F(MainWindowTest, DisplayCommandsNeedAnImage)
{
    start();
    for (const char* action : {"display_menu_image", "display_menu_image_12", "display_menu_image_rotation",
                               "file_menu_save_bmp"}) {
        platform.shown.clear();
        trigger(action);
        EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"You do not open the data file"})) << action;
    }
}

TEST_F(MainWindowTest, LevelsHalfSizeRotationAndDusky)
{
    const std::string path = put("a.fit", gradientFrame(5, 4));
    start(path);
    auto* range = find<QLineEdit>("Text1");
    auto* background = find<QLineEdit>("Text2");
    range->clear();
    QTest::keyClicks(range, "256");
    background->clear();
    QTest::keyClicks(background, "1.5");  // rounds half to even: 2
    EXPECT_EQ(session.state.range, 256);
    EXPECT_EQ(session.state.background, 2);
    find<QPushButton>("Command1")->click();
    EXPECT_EQ(session.state.range, 282);  // 281.6
    EXPECT_EQ(text("Text1"), " 282");
    find<QPushButton>("Command2")->click();
    EXPECT_EQ(session.state.range, 254);  // 253.8
    find<QPushButton>("Command3")->click();
    EXPECT_EQ(session.state.background, 2);  // 2.002
    session.state.range = 0;  // a typed 0 must not break drawing
    trigger("display_menu_image");
    EXPECT_EQ(shownPicture().at(4, 3), greyRgb(255));

    session.state.background = 0;
    session.state.range = 512;
    trigger("display_menu_image_12");
    EXPECT_TRUE(find<QAction>("display_menu_image_12")->isChecked());
    EXPECT_FALSE(find<QAction>("display_menu_image")->isChecked());
    RgbPicture half = shownPicture();
    ASSERT_EQ(half.width, 3);
    ASSERT_EQ(half.height, 2);
    EXPECT_EQ(half.at(0, 0), greyRgb(greyLevel(101, 0, 512)));
    EXPECT_EQ(half.at(2, 1), greyRgb(greyLevel(304, 0, 512)));

    trigger("display_menu_image");
    trigger("display_menu_image_rotation");
    EXPECT_EQ(session.image.at(0, 0), 304);
    EXPECT_EQ(shownPicture().at(0, 0), greyRgb(greyLevel(304, 0, 512)));
    EXPECT_EQ(shownPicture().at(4, 3), greyRgb(0));

    // Dusky picture: the next automatic levels are stretched.
    trigger("display_menu_dusky_picture");
    EXPECT_TRUE(session.state.duskyPicture);
    AppState plain = session.state;
    plain.duskyPicture = false;
    autoLevels(session.image, plain);
    find<QPushButton>("Command5")->click();
    EXPECT_EQ(session.state.range, std::max(1, plain.range * 10));
    EXPECT_EQ(session.state.background, toInt32Saturated(plain.background * 1.5));
    EXPECT_EQ(text("Text1").toStdString(), numberText(session.state.range));
}

TEST_F(MainWindowTest, ColourFramesFromTheFileDialog)
{
    std::vector<std::uint8_t> data = {10, 20, 30, 40, 50, 60};
    const std::string path = put("c.fit", test::headerBlock({card("SIMPLE", "T"), card("BITPIX", "8"),
                                                             card("NAXIS", "3"), card("NAXIS1", "2"),
                                                             card("NAXIS2", "1"), card("NAXIS3", "3"),
                                                             test::endCard()}) +
                                              std::string(data.begin(), data.end()));
    start();
    trigger("file_menu_open");
    FileDialog* dialog = main->fileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "File open");
    dialog->findChild<QLineEdit*>("Text1")->setText(QString::fromStdString(path));
    QTest::keyClick(dialog->findChild<QLineEdit*>("Text1"), Qt::Key_Return);  // Enter acts as OK
    QApplication::processEvents();
    EXPECT_EQ(main->fileDialog(), nullptr);  // the dialog closed itself
    EXPECT_EQ(session.image.planes, 3);
    EXPECT_EQ(main->imageWindow(), nullptr);  // not drawn until "Image"
    session.state.background = 0;
    session.state.range = 256;
    trigger("display_menu_image");
    EXPECT_EQ(shownPicture().at(0, 0), rgb(10, 30, 50));
    EXPECT_EQ(shownPicture().at(1, 0), rgb(20, 40, 60));
}

TEST_F(MainWindowTest, FileDialogOpensAtTheCurrentFolderAndFile)
{
    const std::string a = put("a.fit", gradientFrame(2, 2));
    put("b.fit", gradientFrame(2, 2));
    start(a);
    trigger("file_menu_open");
    FileDialog* dialog = main->fileDialog();
    const QString here = QDir::currentPath();
    QTreeView* folders = dialog->folderList();
    auto* model = static_cast<QFileSystemModel*>(folders->model());
    EXPECT_EQ(QDir(model->filePath(folders->currentIndex())), QDir(here));
    for (QModelIndex up = folders->currentIndex().parent(); up.isValid(); up = up.parent())
        EXPECT_TRUE(folders->isExpanded(up)) << model->filePath(up).toStdString();
    // Named whole (its separators are places to break the line).
    EXPECT_EQ(QDir(dialog->findChild<QLabel*>("Label2")->text().remove(QChar(0x200B))), QDir(here));
    auto* files = static_cast<QFileSystemModel*>(dialog->fileList()->model());
    EXPECT_EQ(files->fileName(dialog->fileList()->currentIndex()), "a.fit");
    // Opening it chose nothing: the file-name box still holds the current file.
    EXPECT_EQ(dialog->findChild<QLineEdit*>("Text1")->text().toStdString(), a);
}

TEST_F(MainWindowTest, FileDialogNamesAndOptions)
{
    put("a.fit", gradientFrame(2, 2));
    start();
    trigger("file_menu_open");
    FileDialog* dialog = main->fileDialog();
    auto* path = dialog->findChild<QLineEdit*>("Text1");
    dialog->chooseFolder(QString::fromStdString(dir.path().string()));
    dialog->chooseFile("a.fit");
    EXPECT_EQ(path->text().toStdString(), dir.file("a.fit"));  // one separator
    dialog->chooseFolder(QDir::rootPath());
    dialog->chooseFile("x.fit");
    EXPECT_EQ(path->text(), QDir::toNativeSeparators(QDir::rootPath()) + "x.fit");  // never two

    // "Non Sign Integer" unticked: BZERO is subtracted.
    auto* unsignedBox = dialog->findChild<QCheckBox*>("Check2");
    EXPECT_TRUE(unsignedBox->isChecked());
    unsignedBox->click();
    EXPECT_EQ(session.state.bzeroSign, -1);
    const std::string high = put("high.fit", test::simpleFits(16, 1, 1, {card("BZERO", "32768")}, test::bytes16({1})));
    path->setText(QString::fromStdString(high));
    dialog->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(session.image.at(0, 0), 1 - 32768);  // 32769 with the box ticked
}

TEST_F(MainWindowTest, SaveThroughTheFileDialog)
{
    const std::string in = put("in.fit", gradientFrame(3, 2));
    start(in);
    trigger("file_menu_save");
    FileDialog* dialog = main->fileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "File save");
    EXPECT_FALSE(dialog->findChild<QCheckBox*>("Check2")->isVisibleTo(dialog));
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("Option2")->isVisibleTo(dialog));
    const std::string out = dir.file("out.fit");
    dialog->findChild<QLineEdit*>("Text1")->setText(QString::fromStdString(out));
    dialog->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"Please set a BITPIX"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    EXPECT_EQ(main->fileDialog(), dialog);  // stays open

    dialog->findChild<QRadioButton*>("Option1")->click();
    dialog->findChild<QPushButton*>("Command1")->click();
    ASSERT_TRUE(QFile::exists(QString::fromStdString(out)));
    FitsImage back;
    AppState state;
    ScriptedPlatform quiet;
    ASSERT_EQ(readFitsFile(back, state, out, ReadForm::Command, quiet), 0);
    EXPECT_EQ(back.bitpix, 8);
    EXPECT_EQ(back.at(2, 1), 102);
    EXPECT_EQ(back.at(0, 1), 100);
    EXPECT_EQ(session.image.fileName, out);
}

TEST_F(MainWindowTest, DroppedFilesOpen)
{
    const std::string good = put("drop.fit", gradientFrame(4, 3));
    const std::string bad = put("drop.fits", gradientFrame(4, 3));
    start();
    auto dropPath = [&](const std::string& p) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(p))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(main.get(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(main.get(), &event);
    };
    dropPath(bad);
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"This file is not FITS file"}));
    dropPath(good);
    ASSERT_NE(main->imageWindow(), nullptr);
    EXPECT_EQ(session.image.fileName, good);
    EXPECT_EQ(find<QLabel>("Label4")->text(), "max 203 / min 0 / ave 102");
}

TEST_F(MainWindowTest, CursorZoomAndClipboardPicture)
{
    start(put("z.fit", gradientFrame(30, 25)));
    session.state.background = 0;
    session.state.range = 4096;
    trigger("display_menu_image");
    PictureView* view = main->imageWindow()->view();
    QMouseEvent move(QEvent::MouseMove, QPointF(7, 4), view->mapToGlobal(QPointF(7, 4)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    EXPECT_EQ(text("Text12"), " 7");
    EXPECT_EQ(text("Text13"), " 4");
    EXPECT_EQ(text("Text14"), " 407");

    EXPECT_EQ(main->zoomWindow(), nullptr);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(7, 4));
    ASSERT_NE(main->zoomWindow(), nullptr);
    EXPECT_EQ(main->zoomWindow()->windowTitle(), " 20 x 20 Flame");
    QApplication::sendEvent(view, &move);
    EXPECT_EQ(main->zoomWindow()->cell(0, 0), greyRgb(greyLevel(407, 0, 4096)));
    EXPECT_EQ(main->zoomWindow()->cell(3, -2), greyRgb(greyLevel(210, 0, 4096)));

    QTest::mouseClick(view, Qt::RightButton, Qt::ShiftModifier, QPoint(1, 1));
    EXPECT_EQ(platform.clipboardPicture.width, 30);
    EXPECT_EQ(platform.clipboardPicture.points, shownPicture().points);

    // Half size: a picture point stands for two image pixels.
    trigger("display_menu_image_12");
    view = main->imageWindow()->view();
    QMouseEvent moveHalf(QEvent::MouseMove, QPointF(7, 4), view->mapToGlobal(QPointF(7, 4)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &moveHalf);
    EXPECT_EQ(text("Text12"), " 14");
    EXPECT_EQ(text("Text14"), " 814");
}

TEST_F(MainWindowTest, SettingsAndPositionsSurviveARestart)
{
    const std::string settingsPath = dir.file("lumavist.ini");
    test::writeFile(settingsPath, "ABC\r\nV\r\nRZ Cas\r\n10.0\r\nplace\r\ninst\r\n 1\r\n");
    start(put("p.fit", gradientFrame(4, 4)));
    EXPECT_TRUE(find<QAction>("utility_menu_beep")->isChecked());
    EXPECT_EQ(session.settings.starName, "RZ Cas");
    // Positions are those of the windows' insides, whatever frame surrounds them.
    main->setGeometry(QRect(QPoint(150, 90), main->size()));
    main->imageWindow()->setGeometry(QRect(QPoint(300, 210), main->imageWindow()->size()));
    const WindowPosition lightCurve = session.settings.window(SettingsWindow::LightCurve);
    trigger("file_menu_exit");
    ASSERT_TRUE(QFile::exists(QString::fromStdString(settingsPath)));

    Session next;
    ScriptedPlatform nextPlatform;
    MainWindow again(next, nextPlatform);
    again.startUp({});
    EXPECT_EQ(again.geometry().topLeft(), QPoint(150, 90));
    EXPECT_EQ(next.settings.window(SettingsWindow::Image).left, 300.0 * 15);
    EXPECT_EQ(next.settings.window(SettingsWindow::Image).top, 210.0 * 15);
    // A window never opened keeps the position it had.
    EXPECT_EQ(next.settings.window(SettingsWindow::LightCurve).left, lightCurve.left);
    EXPECT_EQ(next.settings.starName, "RZ Cas");
    EXPECT_TRUE(again.findChild<QAction*>("utility_menu_beep")->isChecked());
    again.close();
    // Written twice without changes, the file is the same.
    const std::string first = test::readFile(settingsPath);
    Session third;
    MainWindow once(third, nextPlatform);
    once.startUp({});
    once.close();
    EXPECT_EQ(test::readFile(settingsPath), first);
}

TEST_F(MainWindowTest, SecondaryWindowsFollowMinimiseAndRestore)
{
    start(put("m.fit", gradientFrame(6, 6)));
    trigger("display_menu_header");
    QWidget* image = main->imageWindow();
    QWidget* header = find<QWidget>("Form3");
    ASSERT_NE(header, nullptr);
    main->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(image->isMinimized());
    EXPECT_TRUE(header->isMinimized());
    main->setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(image->isMinimized());
    EXPECT_FALSE(header->isMinimized());
}

TEST_F(MainWindowTest, VersionMessage)
{
    start();
    trigger("version_menu");
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_EQ(platform.shown[0].text, "Lumavist Version 5.06b\r\nFeb/2018");
    EXPECT_EQ(platform.shown[0].title, "Astronomical Photometry");
}

TEST_F(MainWindowTest, MenuCaptionsShowTheirAmpersands)
{
    start();
    // Qt takes a single "&" as a shortcut marker and hides it: every "&"
    // of a caption must reach Qt doubled.
    int checked = 0;
    for (QAction* a : main->findChildren<QAction*>()) {
        QString t = a->text();
        t.remove("&&");
        EXPECT_FALSE(t.contains('&')) << a->objectName().toStdString() << ": " << a->text().toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 40);
    EXPECT_EQ(find<QAction>("photometry_menu_position_move")->text(), "Peak cast && Move position");
}

}  // namespace
}  // namespace lv
