// Folder jobs from the main window: single-frame calibration with "UnDo",
// continuous calibration through the folder window, and automatic
// photometry answered frame by frame.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeView>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/image_commands.h"
#include "fits_builder.h"
#include "main_window_fixture.h"
#include "ui/display/image_window.h"
#include "ui/file_dialog.h"
#include "ui/main_window.h"
#include "ui/photometry/frame_choice_window.h"
#include "ui/photometry/photometry_panel.h"
#include "ui/folder_window.h"
#include "ui/processing/composite_windows.h"
#include "ui/folder_chooser.h"
#include "ui/processing/processing_panel.h"

namespace lv {
namespace {

using test::card;

// 60 x 50, 16-bit: sky `sky`, two bright stars and a fainter one.
std::string frame(int sky, int variablePeak, const std::string& time)
{
    std::vector<std::uint16_t> raw(60 * 50, static_cast<std::uint16_t>(sky));
    auto star = [&](int cx, int cy, int peak) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                raw[static_cast<std::size_t>((cy + dy) * 60 + cx + dx)] =
                    static_cast<std::uint16_t>(sky + peak / (1 + dx * dx + dy * dy));
    };
    star(15, 20, 20000);
    star(35, 15, variablePeak);
    star(45, 35, 12000);
    return test::simpleFits(16, 60, 50,
                            {card("DATE-OBS", "'2018-02-15'"), card("UT", "'" + time + "'"), card("EXPTIME", "30")},
                            test::bytes16(raw));
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// Closed windows are deleted later; they count as gone once hidden.
bool closed(const QWidget* w) { return !w || !w->isVisible(); }

class FolderJobsTest : public test::MainWindowFixture {
protected:
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    FolderWindow* folderWindow() const { return main->folderWindow(); }
    FrameChoiceWindow* frameWindow() const { return main->photometryPanel().frameChoiceWindow(); }
    QAction* item(const char* name) const { return find<QAction>(name); }
    void acceptFileDialog(const std::string& path)
    {
        FileDialog* d = main->fileDialog();
        ASSERT_NE(d, nullptr);
        d->findChild<QLineEdit*>("Text1")->setText(QString::fromStdString(path));
        d->accept();
    }
    // Three frames in a subfolder; the stars are placed where a right click would.
    std::string threeFrames()
    {
        QDir(QString::fromStdString(dir.path().string())).mkdir("night");
        const std::string night = dir.file("night");
        test::writeFile(night + "/f1.fit", frame(1000, 9000, "12:30:45"));
        test::writeFile(night + "/f2.fit", frame(1000, 6000, "12:33:45"));
        test::writeFile(night + "/f3.fit", frame(1000, 3000, "12:36:45"));
        test::writeFile(night + "/notes.txt", "not a frame");
        return night;
    }
    void openAutomatic(const std::string& folder)
    {
        trigger("photometry_menu_automatic");
        ASSERT_NE(folderWindow(), nullptr);
        EXPECT_EQ(folderWindow()->windowTitle(), "Folder setting for automatic photometry");
        EXPECT_TRUE(folderWindow()->findChild<QCheckBox*>("Check1")->isVisibleTo(folderWindow()));
        folderWindow()->chooseFolder(QString::fromStdString(folder));
        folderWindow()->sort();
        EXPECT_EQ(folderWindow()->list()->toPlainText(), "f1.fit\nf2.fit\nf3.fit\n");
        folderWindow()->accept();
        session.photometry.setFieldPosition(kComparison, {15, 20});
        session.photometry.slotPositions[kComparison] = {15, 20};
        session.photometry.setFieldPosition(kVariable, {35, 15});
        session.photometry.slotPositions[kVariable] = {35, 15};
        session.photometry.setFieldPosition(kCheck, {45, 35});
        session.photometry.slotPositions[kCheck] = {45, 35};
    }
};

TEST_F(FolderJobsTest, DarkSubtractThenUndoRestoresThePixels)
{
    start(put("light.fit", frame(1000, 9000, "12:30:45")));
    const PixelVector before = session.image.pixels;
    EXPECT_FALSE(item("utility_menu_undo")->isEnabled());
    const std::string darkPath = put("dark.fit", test::simpleFits(16, 60, 50, {}, test::bytes16(std::vector<std::uint16_t>(60 * 50, 300))));

    trigger("utility_menu_dark_subtract");
    EXPECT_EQ(main->fileDialog()->windowTitle(), "Dark Subtract");
    EXPECT_TRUE(main->fileDialog()->findChild<QCheckBox*>("Check1")->isVisibleTo(main->fileDialog()));
    acceptFileDialog(darkPath);
    EXPECT_EQ(session.image.at(0, 0), 700);
    EXPECT_EQ(session.state.statistics.substr(0, 16), "max 20700 / min ");
    EXPECT_TRUE(item("utility_menu_undo")->isEnabled());
    ASSERT_NE(main->imageWindow(), nullptr);

    trigger("utility_menu_undo");
    EXPECT_EQ(session.image.pixels, before);
    EXPECT_FALSE(item("utility_menu_undo")->isEnabled());

    // The flat dialog has no "The minus is used".
    trigger("utility_menu_flat_field");
    EXPECT_FALSE(main->fileDialog()->findChild<QCheckBox*>("Check1")->isVisibleTo(main->fileDialog()));
    acceptFileDialog(dir.file("missing.fit"));
    EXPECT_EQ(session.image.pixels, before);
    EXPECT_TRUE(item("utility_menu_undo")->isEnabled());  // the snapshot was taken first
    ASSERT_FALSE(platform.messageTexts().empty());
    EXPECT_NE(platform.messageTexts().back().find("missing.fit: the file cannot be opened"), std::string::npos);

    // Opening through the file dialog takes "UnDo" away.
    trigger("file_menu_open");
    acceptFileDialog(dir.file("light.fit"));
    EXPECT_FALSE(item("utility_menu_undo")->isEnabled());
}

TEST_F(FolderJobsTest, ContinuousDarkRewritesTheFolderAndSkipsABrokenFrame)
{
    start();
    const std::string night = threeFrames();
    test::writeFile(night + "/broken.fit", "SIMPLE  =                    T");
    const std::string darkPath = put("dark.fit", test::simpleFits(16, 60, 50, {}, test::bytes16(std::vector<std::uint16_t>(60 * 50, 400))));

    trigger("utility_menu_continuous_dark");
    EXPECT_EQ(main->fileDialog()->windowTitle(), "Setting of DARK file ");
    acceptFileDialog(darkPath);
    EXPECT_TRUE(closed(main->fileDialog()));
    ASSERT_NE(folderWindow(), nullptr);
    EXPECT_EQ(folderWindow()->windowTitle(), "Setting of DARK processing file");
    EXPECT_FALSE(folderWindow()->findChild<QCheckBox*>("Check1")->isVisibleTo(folderWindow()));
    folderWindow()->chooseFolder(QString::fromStdString(night));
    folderWindow()->accept();

    for (const char* name : {"f1.fit", "f2.fit", "f3.fit"}) {
        Session check;
        ScriptedPlatform quiet;
        ASSERT_TRUE(openImage(check, {night + "/" + name, OpenWay::Command}, quiet).opened) << name;
        EXPECT_EQ(check.image.at(0, 0), 600) << name;
    }
    EXPECT_EQ(test::readFile(night + "/broken.fit"), "SIMPLE  =                    T");
    EXPECT_EQ(platform.shown.front().text, "Is a continuous processing of a dark frame executed ?");
    EXPECT_FALSE(item("utility_menu_undo")->isEnabled());
}

TEST_F(FolderJobsTest, AttendedRunSavesTheChosenFramesAndEnds)
{
    start();
    const std::string night = threeFrames();
    openAutomatic(night);
    EXPECT_TRUE(button("Command8")->isVisibleTo(main.get()));
    EXPECT_TRUE(button("Command9")->isVisibleTo(main.get()));
    EXPECT_FALSE(find<QMenu>("file_menu")->menuAction()->isEnabled());
    EXPECT_FALSE(find<QMenu>("utility_menu")->menuAction()->isEnabled());
    EXPECT_EQ(session.image.fileName, "f1.fit");
    EXPECT_TRUE(linesOf(night + "/mag_est.txt").empty());

    button("Command8")->click();
    ASSERT_NE(frameWindow(), nullptr);
    EXPECT_EQ(frameWindow()->windowTitle(), "f1.fit");
    EXPECT_EQ(find<QPushButton>("Command7")->text(), "Cross off");
    frameWindow()->findChild<QPushButton*>("Command1")->click();  // save
    ASSERT_NE(frameWindow(), nullptr);
    EXPECT_EQ(frameWindow()->windowTitle(), "f2.fit");
    frameWindow()->findChild<QPushButton*>("Command2")->click();  // not save
    ASSERT_NE(frameWindow(), nullptr);
    EXPECT_EQ(frameWindow()->windowTitle(), "f3.fit");
    frameWindow()->findChild<QPushButton*>("Command1")->click();  // save

    const auto lines = linesOf(night + "/mag_est.txt");
    ASSERT_EQ(lines.size(), 2u);
    const std::string folder = QDir::toNativeSeparators(QString::fromStdString(night)).toStdString();
    EXPECT_EQ(lines[0].substr(0, 24), "2018-02-15 12:30:45 030 ");
    EXPECT_NE(lines[0].find(" " + folder + QDir::separator().toLatin1() + "f1.fit\r"), std::string::npos);
    EXPECT_EQ(lines[1].substr(0, 19), "2018-02-15 12:36:45");
    EXPECT_EQ(platform.messageTexts().back(), "Automatic photometry end");
    EXPECT_FALSE(button("Command8")->isVisibleTo(main.get()));
    EXPECT_TRUE(find<QMenu>("file_menu")->menuAction()->isEnabled());
    EXPECT_TRUE(closed(main->imageWindow()));
}

TEST_F(FolderJobsTest, CancelOnTheFirstFrameAndEndOfAuto)
{
    start();
    const std::string night = threeFrames();
    openAutomatic(night);
    const std::size_t messages = platform.messageTexts().size();
    button("Command8")->click();
    frameWindow()->findChild<QPushButton*>("Command3")->click();
    EXPECT_TRUE(linesOf(night + "/mag_est.txt").empty());
    EXPECT_EQ(platform.messageTexts().size(), messages);  // no message
    EXPECT_TRUE(button("Command8")->isVisibleTo(main.get()));
    EXPECT_EQ(find<QPushButton>("Command7")->text(), "Cross on");
    // After "Cancel", "Automatic" goes on from the same frame.
    button("Command8")->click();
    ASSERT_NE(frameWindow(), nullptr);
    EXPECT_EQ(frameWindow()->windowTitle(), "f1.fit");
    frameWindow()->close();  // closing the window counts as "Cancel"
    EXPECT_TRUE(linesOf(night + "/mag_est.txt").empty());

    button("Command9")->click();
    EXPECT_FALSE(button("Command8")->isVisibleTo(main.get()));
    EXPECT_FALSE(button("Command9")->isVisibleTo(main.get()));
    EXPECT_TRUE(find<QMenu>("utility_menu")->menuAction()->isEnabled());
}

TEST_F(FolderJobsTest, UnattendedRunWithoutPicturesSavesEveryFrame)
{
    start();
    const std::string night = threeFrames();
    // "display picture?" is answered Cancel, the procedure message OK.
    platform.answers = {false, true};
    trigger("photometry_menu_automatic");
    folderWindow()->chooseFolder(QString::fromStdString(night));
    folderWindow()->findChild<QCheckBox*>("Check1")->setChecked(true);
    folderWindow()->accept();
    ASSERT_GE(platform.shown.size(), 2u);
    EXPECT_EQ(platform.shown[0].text, "display picture?");
    session.photometry.slotPositions[kComparison] = {15, 20};
    session.photometry.setFieldPosition(kComparison, {15, 20});
    session.photometry.slotPositions[kVariable] = {35, 15};
    session.photometry.setFieldPosition(kVariable, {35, 15});
    session.photometry.slotPositions[kCheck] = {45, 35};
    session.photometry.setFieldPosition(kCheck, {45, 35});
    button("Command8")->click();
    EXPECT_EQ(frameWindow(), nullptr);
    EXPECT_EQ(linesOf(night + "/mag_est.txt").size(), 3u);
    EXPECT_EQ(platform.messageTexts().back(), "Automatic photometry end");
}

TEST_F(FolderJobsTest, TheDarkChosenInTheFolderIsNeverCalibratedByItselfAndTheFolderIsNamed)
{
    start();
    const std::string night = threeFrames();
    const std::string dark = night + "/dark.fit";
    const std::string darkBytes =
        test::simpleFits(16, 60, 50, {}, test::bytes16(std::vector<std::uint16_t>(60 * 50, 400)));
    test::writeFile(dark, darkBytes);
    trigger("utility_menu_continuous_dark");
    acceptFileDialog(dark);
    ASSERT_NE(folderWindow(), nullptr);
    // The window names the folder it will rewrite, in full.
    folderWindow()->chooseFolder(QString::fromStdString(night));
    const QString named = folderWindow()->findChild<QLabel*>("Label10")->text().remove(QChar(0x200B));
    EXPECT_EQ(QDir(named), QDir(QString::fromStdString(night)));
    EXPECT_TRUE(folderWindow()->list()->toPlainText().contains("dark.fit"));
    folderWindow()->accept();

    EXPECT_EQ(test::readFile(dark), darkBytes);
    bool said = false;
    for (const std::string& m : platform.messageTexts())
        said = said || m.find("dark.fit: this is the dark frame itself") != std::string::npos;
    EXPECT_TRUE(said);
    Session check;
    ScriptedPlatform quiet;
    ASSERT_TRUE(openImage(check, {night + "/f2.fit", OpenWay::Command}, quiet).opened);
    EXPECT_EQ(check.image.at(0, 0), 600);
}

TEST_F(FolderJobsTest, TheKeyboardMovesTheFolderWindowsFolderAsAClickDoes)
{
    start();
    const std::string night = threeFrames();
    trigger("photometry_menu_automatic");
    ASSERT_NE(folderWindow(), nullptr);
    QTreeView* tree = folderWindow()->findChild<QTreeView*>("Dir1");
    ASSERT_NE(tree, nullptr);
    auto* model = static_cast<QFileSystemModel*>(tree->model());
    // What the arrow keys do: the tree's current item moves.
    tree->setCurrentIndex(model->index(QString::fromStdString(night)));
    EXPECT_EQ(QDir(folderWindow()->folder()), QDir(QString::fromStdString(night)));
    EXPECT_EQ(QDir(QDir::currentPath()), QDir(QString::fromStdString(night)));
    folderWindow()->sort();
    EXPECT_EQ(folderWindow()->list()->toPlainText(), "f1.fit\nf2.fit\nf3.fit\n");
    const QString named = folderWindow()->findChild<QLabel*>("Label10")->text().remove(QChar(0x200B));
    EXPECT_EQ(QDir(named), QDir(QString::fromStdString(night)));
}

TEST_F(FolderJobsTest, AfterAFolderJobTheFrameInViewIsShownAgainAndNothingCanStartMeanwhile)
{
    const std::string night = threeFrames();
    start(night + "/f2.fit");
    ASSERT_NE(main->imageWindow(), nullptr);
    const std::string dark = put("dark.fit", test::simpleFits(16, 60, 50, {}, test::bytes16(std::vector<std::uint16_t>(60 * 50, 400))));
    // While the job runs (at its messages), every command is out of reach and the pointer is busy.
    int seenDuringJob = 0;
    platform.onShown = [&](const ScriptedPlatform::Shown& shown) {
        if (shown.question) {
            EXPECT_FALSE(shown.busy) << shown.text;
            return;
        }
        if (shown.text.find("broken.fit") == std::string::npos) return;
        ++seenDuringJob;
        EXPECT_TRUE(shown.busy);
        EXPECT_TRUE(main->jobRunning());
        EXPECT_FALSE(main->menuBar()->isEnabled());
        EXPECT_FALSE(main->centralWidget()->isEnabled());
        EXPECT_FALSE(main->findChild<QAction*>("utility_menu_undo")->isEnabled());
        EXPECT_FALSE(main->runGuarded([] { ADD_FAILURE() << "a second job started"; }));
    };
    test::writeFile(night + "/broken.fit", "SIMPLE  =                    T");
    trigger("utility_menu_continuous_dark");
    acceptFileDialog(dark);
    folderWindow()->chooseFolder(QString::fromStdString(night));
    folderWindow()->accept();
    EXPECT_GE(seenDuringJob, 1);
    EXPECT_FALSE(main->jobRunning());
    EXPECT_TRUE(main->menuBar()->isEnabled());
    EXPECT_EQ(platform.busyDepth, 0);

    // The frame in view, calibrated: picture, title, statistics and measurement agree.
    Session check;
    ScriptedPlatform quiet;
    ASSERT_TRUE(openImage(check, {night + "/f2.fit", OpenWay::Command}, quiet).opened);
    EXPECT_EQ(session.image.fileName, night + "/f2.fit");
    EXPECT_EQ(session.image.pixels, check.image.pixels);
    EXPECT_EQ(session.state.statistics, check.state.statistics);
    EXPECT_EQ(main->findChild<QLabel*>("Label4")->text().toStdString(), check.state.statistics);
    ASSERT_NE(main->imageWindow(), nullptr);
    EXPECT_EQ(main->imageWindow()->windowTitle().toStdString(), night + "/f2.fit");

    // The composite, too, leaves the frame in view.
    platform.onShown = nullptr;
    QFile::remove(QString::fromStdString(night + "/broken.fit"));
    trigger("utility_menu_continuous_composite");
    auto* composite = main->processingPanel().compositeWindow();
    ASSERT_NE(composite, nullptr);
    composite->chooser().chooseFolder(QString::fromStdString(night));
    composite->chooser().sort();
    composite->accept();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(night + "/c3_f2.fit")));
    EXPECT_EQ(session.image.fileName, night + "/f2.fit");
    EXPECT_EQ(session.image.pixels, check.image.pixels);
    EXPECT_NE(platform.messageTexts().back().find("Auto Composite done:"), std::string::npos);
}

TEST_F(FolderJobsTest, TheBzeroJobAsksFirstAndSaysWhatItDid)
{
    // Three frames stored signed (BZERO 32768), as many cameras write them, and a note.
    QDir(QString::fromStdString(dir.path().string())).mkdir("signed");
    const std::string night = dir.file("signed");
    for (const char* name : {"s1.fit", "s2.fit", "s3.fit"})
        test::writeFile(night + "/" + name,
                        test::simpleFits(16, 2, 1, {card("BZERO", "32768"), card("BSCALE", "1")},
                                         test::bytes16({100, 200})));
    test::writeFile(night + "/plain.fit", test::simpleFits(16, 2, 1, {}, test::bytes16({7, 8})));
    start(night + "/s1.fit");
    const std::int32_t inViewBefore = session.image.at(0, 0);
    const std::string before = test::readFile(night + "/s2.fit");
    trigger("utility_menu_continuous_bzero");
    auto* bzero = main->processingPanel().bzeroWindow();
    ASSERT_NE(bzero, nullptr);
    bzero->chooser().chooseFolder(QString::fromStdString(night));
    platform.answers = {false};
    bzero->accept();
    EXPECT_EQ(test::readFile(night + "/s2.fit"), before);
    const std::string folder = QDir::toNativeSeparators(QString::fromStdString(night)).toStdString();
    ASSERT_FALSE(platform.shown.empty());
    EXPECT_TRUE(platform.shown.back().question);
    EXPECT_EQ(platform.shown.back().text, "4 frames in " + folder + " get BZERO = 0, BSCALE = 1");
    EXPECT_FALSE(closed(bzero));  // Cancel leaves the window for another try

    bzero->accept();
    EXPECT_EQ(platform.messageTexts().back(),
              "3 frames rewritten in " + folder + " (BZERO = 0, BSCALE = 1); 1 left as they were");
    // The frame in view was rewritten too: it is shown as it now reads.
    Session check;
    ScriptedPlatform quiet;
    ASSERT_TRUE(openImage(check, {night + "/s1.fit", OpenWay::Command}, quiet).opened);
    EXPECT_NE(check.image.at(0, 0), inViewBefore);
    EXPECT_EQ(session.image.pixels, check.image.pixels);
    EXPECT_EQ(session.state.statistics, check.state.statistics);
}

TEST_F(FolderJobsTest, QuestionsAreAskedWithTheNormalPointer)
{
    start(put("light.fit", frame(1000, 9000, "12:30:45")));
    platform.answers = {false, false};
    trigger("utility_menu_bow");
    trigger("utility_menu_limb");
    ASSERT_EQ(platform.shown.size(), 2u);
    for (const auto& shown : platform.shown) {
        EXPECT_TRUE(shown.question) << shown.text;
        EXPECT_FALSE(shown.busy) << shown.text;
    }
    EXPECT_EQ(platform.busyDepth, 0);
}

TEST_F(FolderJobsTest, FitsNamesAreListedWithTheTickAndTheWindowPointsToIt)
{
    start();
    QDir(QString::fromStdString(dir.path().string())).mkdir("modern");
    const std::string night = dir.file("modern");
    test::writeFile(night + "/n1.fits", frame(1000, 9000, "12:30:45"));
    test::writeFile(night + "/n2.fits", frame(1000, 6000, "12:33:45"));
    trigger("photometry_menu_automatic");
    ASSERT_NE(folderWindow(), nullptr);
    folderWindow()->chooseFolder(QString::fromStdString(night));
    auto* hint = folderWindow()->findChild<QLabel*>("Label11");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(folderWindow()->list()->toPlainText().isEmpty());
    EXPECT_TRUE(hint->isVisibleTo(folderWindow()));
    EXPECT_EQ(hint->text().toStdString(), "2 frames here are named .fits, .FITS, .fz or .gz: tick \"also .fits and "
                                          "compressed frames\" to list them");
    auto* tick = folderWindow()->findChild<QCheckBox*>("Check3");
    ASSERT_NE(tick, nullptr);
    EXPECT_FALSE(tick->isChecked());
    tick->click();
    folderWindow()->sort();
    EXPECT_EQ(folderWindow()->list()->toPlainText(), "n1.fits\nn2.fits\n");
    EXPECT_FALSE(hint->isVisibleTo(folderWindow()));
    EXPECT_TRUE(session.settings.anyFits);  // kept for the next start
    // The run measures them.
    folderWindow()->accept();
    EXPECT_EQ(session.image.fileName, "n1.fits");
}

}  // namespace
}  // namespace lv
