// The processing panel of the main window: the "Utility" menu's "Dark
// Subtract", "Flat Field" and "UnDo", and its "Continuous processing"
// submenu with the folder window for continuous calibration.
#pragma once

#include <QPointer>

#include "app/session.h"
#include "core/platform.h"
#include "processing/calibration.h"
#include "ui/panel.h"

class QAction;

namespace lv {

class BzeroWindow;
class CalculationWindow;
class CompositeWindow;

class ProcessingPanel : public Panel {
public:
    ProcessingPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent = nullptr);

    void buildMenus(QMenuBar*) override {}
    void buildUtilityItems(QMenu* utility) override;
    QWidget* buildControls() override { return nullptr; }
    void startUp() override;
    void refresh() override;
    void recordWindowPositions() override;

    // "UnDo".
    void undo();
    CalculationWindow* calculationWindow() const;
    CompositeWindow* compositeWindow() const;
    BzeroWindow* bzeroWindow() const;

private:
    void calibrate(CalibrationKind kind, FileDialog& dialog, const std::string& path);
    void chooseContinuousFile(CalibrationKind kind);
    void runContinuous(CalibrationKind kind);
    // A folder job guarded, then the frame that was in view read again and shown.
    void runFolderJob(const std::function<void()>& job);
    void showChangedImage();
    // The end of the corrections that redraw: picture, statistics, beep.
    void finishCorrection();

    Session& session_;
    Platform& platform_;
    PanelHost& host_;
    QAction* undoItem_ = nullptr;
    QPointer<CalculationWindow> calculationWindow_;
    QPointer<CompositeWindow> compositeWindow_;
    QPointer<BzeroWindow> bzeroWindow_;
};

}  // namespace lv
