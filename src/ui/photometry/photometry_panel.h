// The photometry panel of the main window: the "Photometry" menu, the
// position, aperture and magnitude fields, the markers on the picture, the
// "Photometry" and "Cross on" buttons, and the PositionSet, sky area and
// comparison-star windows.
#pragma once

#include <QPointer>

#include <array>
#include <vector>

#include "app/session.h"
#include "photometry/photometry_run.h"
#include "core/platform.h"
#include "photometry/automatic_run.h"
#include "ui/panel.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lv {

struct MarkerPoint;
class FolderWindow;
class FrameChoiceWindow;

class PhotometryPanel : public Panel {
public:
    PhotometryPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent = nullptr);

    void buildMenus(QMenuBar* bar) override;
    QWidget* buildControls() override;
    void startUp() override;
    void pictureRedrawn() override;
    bool imageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint globalPos) override;

    // The "Photometry" button.
    void measure();
    // The "Cross on" / "Cross off" button.
    void toggleMarkers();
    // Takes the markers off the picture when they are shown.
    void turnMarkersOff();
    // Writes the photometry state into the fields: positions, aperture and
    // mode fields, magnitudes.
    void showFields();

    // "Automatic" in the Photometry menu: the folder window for automatic photometry.
    void chooseAutomaticFolder();
    // The folder window's OK for automatic photometry.
    void prepareAutomatic(const FolderChoice& choice);
    // The "Automatic" and "End of Auto" buttons.
    void runAutomatic();
    void endAutomatic();
    QPushButton* automaticButton() const { return automaticButton_; }
    QPushButton* endAutoButton() const { return endAutoButton_; }
    FrameChoiceWindow* frameChoiceWindow() const;

    // The open PositionSet, sky area and comparison-star windows (null when closed).
    QWidget* positionSetWindow() const { return positionSetWindow_; }
    QWidget* skyAreaWindow() const { return skyAreaWindow_; }
    QWidget* comparisonStarWindow() const { return comparisonStarWindow_; }
    QWidget* targetSiteWindow() const { return targetSiteWindow_; }
    // The error shown beside each magnitude (comparison, variable, check).
    QLabel* errorLabel(int star) const { return errorLabels_[static_cast<std::size_t>(star)]; }

private:
    // Each star's error beside its magnitude, and a saturated star's field marked.
    void showQuality(const PhotometryOutcome& out);
    // The camera, target and site of the settings, for the next measurement.
    void takeTargetSite();
    void drawMarkers();
    void drawSearchSpans();
    void paintPoints(const std::vector<MarkerPoint>& points, bool erase);
    void setSkyMode(int mode);
    void setApertureShape(int shape);
    void setDigits(int digits);
    void setTimeZone(int hours);
    void setPositionMode(int mode);
    void setArithmetic(int arithmetic);
    void showSkyFields();
    void showCrossOn();
    void openPositionSet(int px, int py, QPoint globalPos);
    void showAutomaticButtons(bool shown);
    // Carries the run on until it needs the user or ends.
    void follow(AutomaticStatus status);
    void carryOn(AutomaticStatus status);
    void answerFrame(FrameChoice choice);
    void recordWindowPositions() override;

    Session& session_;
    Platform& platform_;
    PanelHost& host_;

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
    QPushButton* automaticButton_ = nullptr;    // Command8 "Automatic"
    QPushButton* endAutoButton_ = nullptr;      // Command9 "End of Auto"
    bool following_ = false;                    // the run is being carried on
    std::array<QAction*, 2> digitItems_{};      // 2digit, 3digit
    std::array<QAction*, 3> positionItems_{};   // fixed, peak cast, peak cast & move
    std::array<QAction*, 2> shapeItems_{};      // circle, square
    std::array<QAction*, 2> arithmeticItems_{};  // integer, real
    std::array<QAction*, 2> skyItems_{};        // aperture, median
    std::array<QAction*, 2> zoneItems_{};       // +0 hour, +9 hour
    QAction* sizeItem_ = nullptr;
    QPointer<QWidget> positionSetWindow_;
    QPointer<QWidget> skyAreaWindow_;
    QPointer<QWidget> comparisonStarWindow_;
    QPointer<QWidget> targetSiteWindow_;
    std::array<QLabel*, 3> errorLabels_{};  // Label30 ... Label32
    QPointer<FrameChoiceWindow> frameChoiceWindow_;
};

}  // namespace lv
