// The spectrum tools' windows: the binning window (Form15), the curve window
// (Form13) with its offset and scale bars, the intensity-curve file window
// (Form12), and the horizontal graph (Form24).
#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "app/session.h"
#include "core/platform.h"
#include "spectrum/horizontal_graph.h"
#include "processing/inclination.h"
#include "spectrum/intensity_curve.h"

class QLineEdit;
class QRadioButton;
class QScrollBar;

namespace lv {

// What the windows ask of the spectrum panel.
struct SpectrumTools {
    std::function<void(int row, bool fromButtons)> moveLine;  // the current line changes
    std::function<void()> displayZones;                       // "Display Line"
    std::function<void()> closeTools;                         // "Cancel" and after binning
    std::function<void()> redrawCurve;
    std::function<void()> binned;                             // after "Binning Execution"
    std::function<void()> statisticsChanged;                  // the image's values changed
};

class BinningWindow : public QWidget {
    Q_OBJECT
public:
    BinningWindow(Session& session, Platform& platform, SpectrumTools tools, QWidget* parent);
    BinZones zones() const;
    void setUpper();
    void setLower();
    void execute();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int selectedZone() const;

    Session& session_;
    Platform& platform_;
    SpectrumTools tools_;
    std::array<QRadioButton*, 5> zoneOptions_{};  // Option1 ... Option5, "Zone1" ...
    std::array<QLineEdit*, 10> rows_{};           // Text1 ... Text10: upper, lower of each zone
};

// The picture of the curve: width naxis1 + 0.1 units, height the curve scale.
class CurveView : public QWidget {
    Q_OBJECT
public:
    CurveView(Session& session, QWidget* parent);
    int offset = 0;
    int scale = 255;
    // The fitted curve over the intensity curve (the high-order window), or none.
    bool showFit = false;
    const RgbPicture& picture() const { return picture_; }
    void redraw();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Session& session_;
    RgbPicture picture_;
};

class CurveWindow : public QWidget {
    Q_OBJECT
public:
    CurveWindow(Session& session, QWidget* parent);
    CurveView* view() const { return view_; }
    QScrollBar* offsetBar() const { return offsetBar_; }
    QScrollBar* scaleBar() const { return scaleBar_; }
    void showLine();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    CurveView* view_;
    QScrollBar* offsetBar_;  // VScroll1
    QScrollBar* scaleBar_;   // VScroll2
};

class CurveFileWindow : public QWidget {
    Q_OBJECT
public:
    CurveFileWindow(Session& session, Platform& platform, SpectrumTools tools, QWidget* parent);
    void compensate();  // "Inclination compensation"
    void undoLine();    // "UnDo"
    void save();        // "Save to disk"
    CurveFileSettings settings() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showAxisMode();

    Session& session_;
    Platform& platform_;
    SpectrumTools tools_;
    QRadioButton* pixel_;       // Option1 "Pixel"
    QRadioButton* wavelength_;  // Option2 "Wavelength"
    QLineEdit* start_;          // Text1
    QLineEdit* end_;            // Text2
    QLineEdit* name_;           // Text3
    QWidget* undoButton_;       // Command4
    SavedLine savedLine_;
};

class HorizontalGraphWindow : public QWidget {
    Q_OBJECT
public:
    HorizontalGraphWindow(Session& session, HorizontalGraph graph, QWidget* parent);
    const HorizontalGraph& graph() const { return graph_; }
    HorizontalGraph& graph() { return graph_; }
    const RgbPicture& picture() const { return picture_; }
    void redraw();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Session& session_;
    HorizontalGraph graph_;
    RgbPicture picture_;  // Picture1
    QWidget* pictureArea_;
};

}  // namespace lv
