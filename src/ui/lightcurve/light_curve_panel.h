// The light-curve panel: the Photometry menu's "Light Curve" item, the
// file dialog for the data file, and the one light-curve window.
#pragma once

#include <QPointer>

#include "app/session.h"
#include "core/platform.h"
#include "ui/panel.h"

namespace lv {

class LightCurveWindow;

class LightCurvePanel : public Panel {
public:
    LightCurvePanel(Session& session, Platform& platform, PanelHost& host, QObject* parent = nullptr);

    void buildMenus(QMenuBar* bar) override;
    QWidget* buildControls() override { return nullptr; }
    void startUp() override {}
    void refresh() override;
    void recordWindowPositions() override;

    // Opens the light-curve window on a data file; a file that cannot be
    // read leaves the window that is open as it is.
    void openLightCurve(const std::string& path);
    LightCurveWindow* window() const;

private:
    Session& session_;
    Platform& platform_;
    PanelHost& host_;
    QPointer<LightCurveWindow> window_;
};

}  // namespace lv
