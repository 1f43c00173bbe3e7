// The spectrum panel: Utility → "Binning" ("Execution", "Binnning Data
// Save"), the current line on the image window, the binning, curve, file
// and high-order function windows, and the horizontal graph on Shift + left
// click.
#pragma once

#include <QPointer>

#include "app/session.h"
#include "core/platform.h"
#include "ui/panel.h"

namespace lv {

class BinningWindow;
class CurveFileWindow;
class CurveWindow;
class HighOrderWindow;
class HorizontalGraphWindow;
struct SpectrumTools;

class SpectrumPanel : public Panel {
public:
    SpectrumPanel(Session& session, Platform& platform, PanelHost& host, QObject* parent = nullptr);

    void buildMenus(QMenuBar*) override {}
    void buildUtilityItems(QMenu* utility) override;
    QWidget* buildControls() override { return nullptr; }
    void startUp() override {}
    bool imageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint globalPos) override;
    void recordWindowPositions() override;

    // "Execution" (binning) or "Binnning Data Save" (curve files).
    void openTools(bool forSaving);
    // The current line moves; the buttons also update the high-order window's label.
    void moveLine(int row, bool fromButtons);
    void displayZones();
    void closeTools();
    HighOrderWindow* openHighOrderWindow();

    BinningWindow* binningWindow() const;
    CurveWindow* curveWindow() const;
    CurveFileWindow* fileWindow() const;
    HighOrderWindow* highOrderWindow() const;
    HorizontalGraphWindow* graphWindow() const;

private:
    SpectrumTools tools();
    void paintRow(int row, bool green);

    Session& session_;
    Platform& platform_;
    PanelHost& host_;
    QPointer<BinningWindow> binning_;
    QPointer<CurveWindow> curve_;
    QPointer<CurveFileWindow> file_;
    QPointer<HighOrderWindow> highOrder_;
    QPointer<HorizontalGraphWindow> graph_;
};

}  // namespace lv
