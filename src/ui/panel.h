// How the main window and the subsystem panels meet. The main window is a
// frame: it owns the image, zoom and file-dialog windows, the level controls
// and the statistics line, and offers them to the panels through PanelHost.
// Each subsystem has one Panel that owns its menu items, its fields on the
// main window and its windows.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <string>

#include "core/app_state.h"

class QMenu;
class QMenuBar;
class QWidget;

namespace lv {

class FileDialog;
class FolderWindow;
class ImageWindow;

// What the folder window's OK read, for the job it starts.
struct FolderChoice {
    bool picturesNotChecked = false;  // "pictures are not checked"
    bool displayPictures = true;      // "display picture?" answered OK
};
using FolderAccept = std::function<void(const FolderChoice& choice)>;

// Runs a long job that yields to the windows (a folder job, the all-rows
// compensation, the automatic run): while it runs, the busy pointer shows and
// every command that changes the image or a file is out of reach.
using JobRunner = std::function<void(const std::function<void()>& job)>;

// What a panel may ask of the main window.
class PanelHost {
public:
    // What the file dialog's OK does with the path in its file-name box.
    using FileAccept = std::function<void(FileDialog& dialog, const std::string& path)>;

    virtual ~PanelHost() = default;
    // The parent of the panel's secondary windows (they minimise with it).
    virtual QWidget* hostWindow() = 0;
    // The "Image" (scale 1) and "Image 1/2" (scale 2) display commands.
    virtual void displayImage(int scale) = 0;
    // Shows the statistics line and the levels of the application state.
    virtual void showStatistics() = 0;
    virtual void showLevels() = 0;
    // Opens a fresh file dialog for `mode` under `caption`; its OK runs `accept`.
    virtual void openFileDialog(FileDialogMode mode, const QString& caption, FileAccept accept) = 0;
    // The open image window, or null (markers are painted into its picture).
    virtual ImageWindow* imageWindow() const = 0;
    // Opens a fresh folder window for `mode` under `caption`; its OK runs
    // `accept` after the list was parsed into the session's queue.
    virtual FolderWindow* openFolderWindow(FileDialogMode mode, const QString& caption,
                                           FolderAccept accept) = 0;
    // Closes the image and zoom windows; closes the zoom window; opens a fresh one.
    virtual void closePicture() = 0;
    virtual void closeZoomWindow() = 0;
    virtual void openZoomWindow() = 0;
    // Enables or disables the "File" and "Utility" menus (automatic photometry).
    virtual void setFileAndUtilityEnabled(bool enabled) = 0;
    // Lets every panel bring its fields and menu items up to date after a
    // command changed the session (a frame loaded, "UnDo" offered or not).
    virtual void sessionChanged() = 0;
    // Opens the image window afresh keeping the spectrum tools' line.
    virtual void showImageWithLine() = 0;
    // Runs `job` guarded (see JobRunner); a job asked for while one runs is
    // refused. False when it was refused.
    virtual bool runGuarded(const std::function<void()>& job) = 0;
    virtual bool jobRunning() const = 0;
};

// A subsystem's part of the main window. The main window calls these in
// the order of the panels it composes.
class Panel : public QObject {
public:
    explicit Panel(QObject* parent = nullptr) : QObject(parent) {}
    // Adds the panel's menus to the menu bar (between "Display" and "Utility").
    virtual void buildMenus(QMenuBar* bar) = 0;
    // Adds the panel's items to the "Utility" menu (before "Beep On").
    virtual void buildUtilityItems(QMenu* /*utility*/) {}
    // The panel's fields on the main window, or null.
    virtual QWidget* buildControls() = 0;
    // Start-up, after the settings file has been read: defaults and ticks.
    virtual void startUp() = 0;
    // A new picture was drawn: nothing of the old one (markers) is on it.
    virtual void pictureRedrawn() {}
    // The session changed under the panel: refresh what it shows.
    virtual void refresh() {}
    // A click on the picture at image position (px, py); true when handled.
    virtual bool imageClicked(int /*px*/, int /*py*/, Qt::MouseButton /*button*/, Qt::KeyboardModifiers /*mods*/,
                              QPoint /*globalPos*/)
    {
        return false;
    }
    // Exit: windows whose positions go into the settings file record them.
    virtual void recordWindowPositions() {}
};

}  // namespace lv
