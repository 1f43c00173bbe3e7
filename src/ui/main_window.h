// The main window (Form1): the application. It owns the menus, the level
// controls, the cursor readout and the statistics line, opens every other
// window, and reads and writes the settings file at start and exit.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/session.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace lv {

struct MarkerPoint;
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

    // ---- photometry ---------------------------------------------------------
    // Takes the markers off the picture when they are shown ("Cross on").
    void turnMarkersOff();
    // The open PositionSet, sky area and comparison-star windows (null when closed).
    QWidget* positionSetWindow() const { return positionSetWindow_; }
    QWidget* skyAreaWindow() const { return skyAreaWindow_; }
    QWidget* comparisonStarWindow() const { return comparisonStarWindow_; }
    // Writes the photometry state into the main window's fields: positions,
    // aperture and mode fields, magnitudes.
    void showPhotometryFields();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // The "Photometry" button.
    void measure();
    // The "Cross on" / "Cross off" button.
    void toggleMarkers();

private:
    void buildMenus();
    void buildControls();
    void buildPhotometryMenu(QMenu* menu);
    QWidget* buildPhotometryControls();
    void resetPhotometry();
    void drawMarkers();
    void drawSearchSpans();
    void paintPoints(const std::vector<MarkerPoint>& points, bool erase);
    void setSkyMode(int mode);
    void setApertureShape(int shape);
    void showSkyFields();
    void openPositionSet(QPoint globalPos);
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

    // Photometry fields
    std::array<QLineEdit*, 7> positionX_{};  // slot 1 ... 6: Text20, Text22, ... Text30
    std::array<QLineEdit*, 7> positionY_{};  // Text21, Text23, ... Text31
    std::array<QLabel*, 7> positionLabels_{};
    QLineEdit* comparisonMagnitude_ = nullptr;  // Text32
    QLineEdit* variableMagnitude_ = nullptr;    // Text33
    QLineEdit* checkMagnitude_ = nullptr;       // Text34
    QLineEdit* apertureField_ = nullptr;        // Text35
    QLineEdit* modeField_ = nullptr;            // Text36
    QLineEdit* searchSpanField_ = nullptr;      // Text37
    QPushButton* crossButton_ = nullptr;        // Command7
    QAction* actDigit2_ = nullptr;
    QAction* actDigit3_ = nullptr;
    QAction* actFixed_ = nullptr;
    QAction* actPeak_ = nullptr;
    QAction* actMove_ = nullptr;
    QAction* actCircle_ = nullptr;
    QAction* actSquare_ = nullptr;
    QAction* actSize_ = nullptr;
    QAction* actInteger_ = nullptr;
    QAction* actReal_ = nullptr;
    QAction* actSkyAperture_ = nullptr;
    QAction* actSkyMedian_ = nullptr;
    QAction* actZone0_ = nullptr;
    QAction* actZone9_ = nullptr;
    QPointer<QWidget> positionSetWindow_;
    QPointer<QWidget> skyAreaWindow_;
    QPointer<QWidget> comparisonStarWindow_;

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
