// The main window (Form1): the application. It owns the menus, the level
// controls, the cursor readout and the statistics line, opens every other
// window, and reads and writes the settings file at start and exit.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <string>

#include "core/platform.h"
#include "core/session.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace lv {

class FileDialog;
class HeaderWindow;
class HistogramWindow;
class ImageWindow;
class PictureExportWindow;
class ZoomWindow;

inline constexpr const char* kNoImageMessage = "You do not open the data file";

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Session& session, Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: settings file of the start folder, menu ticks,
    // window position, reading options, then the command-line file if any.
    void startUp(const std::string& commandLinePath);

    Session& session() { return session_; }
    Platform& platform() { return platform_; }

    // ---- commands other windows use --------------------------------------
    // The "Image" (scale 1) and "Image 1/2" (scale 2) display commands.
    void displayImage(int scale);
    // Writes the levels into the range and background boxes.
    void showLevels();
    // Shows the statistics line of the application state.
    void showStatistics();
    // Opens a file as a dropped one.
    void openDroppedFile(const std::string& path);
    // OK of the file dialog in open mode: the dialog form of the reader.
    void openFromFileDialog(const std::string& path);
    // The handler of the file dialog's OK for the modes beyond open and save
    // (calibration, light curve); a mode without one does nothing.
    using FileDialogHandler = std::function<void(const std::string& path)>;
    void setFileDialogHandler(FileDialogMode mode, FileDialogHandler handler);
    void runFileDialogHandler(FileDialogMode mode, const std::string& path);
    // Opens the file dialog for a mode with a caption.
    void openFileDialog(FileDialogMode mode, const QString& caption);

    // The open secondary windows (null when closed).
    ImageWindow* imageWindow() const;
    ZoomWindow* zoomWindow() const;
    FileDialog* fileDialog() const;
    HistogramWindow* histogramWindow() const;
    HeaderWindow* headerWindow() const;
    PictureExportWindow* exportWindow() const;

    // Closes the windows that show the old image (the dialog form of the reader).
    void closeImageWindows();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void redraw();
    void recordWindowPositions();
    void onCursorMoved(int px, int py);
    void onImageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
    void openZoomWindow();
    void openHistogram();
    void openHeader();
    void openPictureExport();
    void showVersion();
    void setLevelText(QLineEdit* box, std::int32_t value);

    Session& session_;
    Platform& platform_;

    QAction* actImage_ = nullptr;
    QAction* actImageHalf_ = nullptr;
    QAction* actDusky_ = nullptr;
    QAction* actBeep_ = nullptr;

    QLineEdit* rangeBox_ = nullptr;       // Text1
    QLineEdit* backgroundBox_ = nullptr;  // Text2
    QLineEdit* cursorX_ = nullptr;        // Text12
    QLineEdit* cursorY_ = nullptr;        // Text13
    QLineEdit* cursorValue_ = nullptr;    // Text14
    QLabel* statistics_ = nullptr;        // Label4

    QPointer<ImageWindow> imageWindow_;
    QPointer<ZoomWindow> zoomWindow_;
    QPointer<FileDialog> fileDialog_;
    QPointer<HistogramWindow> histogramWindow_;
    QPointer<HeaderWindow> headerWindow_;
    QPointer<PictureExportWindow> exportWindow_;

    std::map<FileDialogMode, FileDialogHandler> fileDialogHandlers_;
    bool minimisedTogether_ = false;
};

}  // namespace lv
