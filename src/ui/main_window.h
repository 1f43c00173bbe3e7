// The main window (Form1): the application's frame. It builds the File,
// Display, Utility and Ver menus, the level controls, the cursor readout and
// the statistics line, owns the image, zoom, file-dialog, histogram, header
// and picture-export windows, composes one panel per subsystem, and reads
// and writes the settings file at start and exit.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "core/platform.h"
#include "ui/panel.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;

namespace lv {

class FileDialog;
class HeaderWindow;
class HistogramWindow;
class ImageWindow;
class LightCurvePanel;
class PhotometryPanel;
class PictureExportWindow;
class ProcessingPanel;
class SpectrumPanel;
class ZoomWindow;

class MainWindow : public QMainWindow, public PanelHost {
    Q_OBJECT
public:
    MainWindow(Session& session, Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: settings file of the start folder, menu ticks,
    // window position, reading options, then the command-line file if any.
    void startUp(const std::string& commandLinePath);

    // ---- PanelHost ------------------------------------------------------------
    QWidget* hostWindow() override { return this; }
    void displayImage(int scale) override;
    void showStatistics() override;
    void showLevels() override;
    void openFileDialog(FileDialogMode mode, const QString& caption, FileAccept accept) override;
    ImageWindow* imageWindow() const override;
    FolderWindow* openFolderWindow(FileDialogMode mode, const QString& caption,
                                   FolderAccept accept) override;
    void closePicture() override;
    void closeZoomWindow() override;
    void openZoomWindow() override;
    void setFileAndUtilityEnabled(bool enabled) override;
    void sessionChanged() override;
    void showImageWithLine() override;
    bool runGuarded(const std::function<void()>& job) override;
    bool jobRunning() const override { return jobRunning_; }

    // Opens a file as a dropped one.
    void openDroppedFile(const std::string& path);

    // The open secondary windows (null when closed) and the panels.
    ZoomWindow* zoomWindow() const;
    FileDialog* fileDialog() const;
    FolderWindow* folderWindow() const;
    HistogramWindow* histogramWindow() const;
    HeaderWindow* headerWindow() const;
    PictureExportWindow* exportWindow() const;
    PhotometryPanel& photometryPanel() const { return *photometry_; }
    ProcessingPanel& processingPanel() const { return *processing_; }
    LightCurvePanel& lightCurvePanel() const { return *lightCurve_; }
    SpectrumPanel& spectrumPanel() const { return *spectrum_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void openFromFileDialog(const std::string& path);
    void closeImageWindows();
    void redraw(bool keepLine = false);
    void recordWindowPositions();
    void onCursorMoved(int px, int py);
    void onImageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
    void openPictureExport();
    void setLevelText(QLineEdit* box, std::int32_t value);

    Session& session_;
    Platform& platform_;
    PhotometryPanel* photometry_;
    ProcessingPanel* processing_;
    LightCurvePanel* lightCurve_;
    SpectrumPanel* spectrum_;
    std::vector<Panel*> panels_;  // in menu and field order

    QAction* actImage_ = nullptr;
    QAction* actImageHalf_ = nullptr;
    QAction* actDusky_ = nullptr;
    QAction* actBeep_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* utilityMenu_ = nullptr;

    QLineEdit* rangeBox_ = nullptr;       // Text1
    QLineEdit* backgroundBox_ = nullptr;  // Text2
    QLineEdit* cursorX_ = nullptr;        // Text12
    QLineEdit* cursorY_ = nullptr;        // Text13
    QLineEdit* cursorValue_ = nullptr;    // Text14
    QLabel* statistics_ = nullptr;        // Label4

    QPointer<ImageWindow> imageWindow_;
    QPointer<ZoomWindow> zoomWindow_;
    QPointer<FileDialog> fileDialog_;
    QPointer<FolderWindow> folderWindow_;
    QPointer<HistogramWindow> histogramWindow_;
    QPointer<HeaderWindow> headerWindow_;
    QPointer<PictureExportWindow> exportWindow_;

    bool minimisedTogether_ = false;
    bool jobRunning_ = false;
};

}  // namespace lv
