// The light-curve window (Form17, "Light Curve (path)"): C-K (Picture1) and
// V-C (Picture2) against the time of night, the list of data lines (List1),
// the report fields, "Save to 'mag_est.txt'" and "Save to 'std.file'".
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "app/session.h"
#include "core/platform.h"
#include "lightcurve/light_curve.h"
#include "lightcurve/night_rows.h"
#include "lightcurve/report.h"

class QLabel;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace lv {

class AxisDialog;

// One graph: paints its drawing and reports presses and double-clicks in picture units.
class GraphView : public QWidget {
    Q_OBJECT
public:
    explicit GraphView(const char* name, QWidget* parent = nullptr);
    void setPicture(const RgbPicture& picture);
    const RgbPicture& picture() const { return picture_; }
    QSize sizeHint() const override;

signals:
    void pressed(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void doubleClicked();
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    RgbPicture picture_;
};

class LightCurveWindow : public QWidget {
    Q_OBJECT
public:
    // `openFrame` reads a frame into the main image and shows it.
    LightCurveWindow(Session& session, Platform& platform, LightCurveTable table,
                     std::function<void(const std::string& path)> openFrame, std::function<void()> closed,
                     QWidget* parent);

    const LightCurveTable& table() const { return table_; }
    const LightCurveAxes& axes() const { return axes_; }
    LightCurveAxes& axes() { return axes_; }
    const PointPositions& vcPositions() const { return vcPositions_; }
    // Redraws both graphs, the photometry error and nothing else.
    void draw();
    // A press on the V-C graph at picture units (x, y).
    // With Shift, a left click picks the point as one end of the range for
    // the time of minimum (two picks make the range, a third starts again).
    void pressOnCurve(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A double-click on a list item (0-based row).
    void toggleListRow(int row);
    void openAxisDialog();
    AxisDialog* axisDialog() const { return axisDialog_; }
    // The comparison-star window's texts, and the fields of the report.
    void setReportTexts(const std::string& star, const std::string& compMag, const std::string& colour,
                        const std::string& code);
    ReportFields reportFields() const;
    void saveMagEstFile();
    void saveReport();
    // "Save to AAVSO": the kept lines in the AAVSO Extended File Format.
    void saveAavso();
    // "Time of minimum": both methods over the kept points of the visible
    // time axis, shown in Label8 and kept in minima.txt beside the data file.
    void timeMinimum();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillList();
    void storeFields();

    Session& session_;
    Platform& platform_;
    LightCurveTable table_;
    LightCurveAxes axes_;
    double error_ = 0.0;
    PointPositions vcPositions_;
    std::function<void(const std::string&)> openFrame_;
    std::function<void()> closed_;
    bool frameOpened_ = false;

    GraphView* ck_;           // Picture1
    GraphView* vc_;           // Picture2
    QListWidget* list_;       // List1
    QListWidget* scatterList_;  // List2: each ensemble star's scatter, shown with an ensemble
    // The night's table beside the data file, read when the window opens.
    std::optional<std::vector<NightRow>> night_;
    // The hours of the points picked for the time of minimum's range.
    std::vector<double> minimumRange_;
    QLineEdit* compMag_;      // Text1
    QLineEdit* star_;         // Text2
    QLineEdit* code_;         // Text3
    QLineEdit* colour_;       // Text4
    QLineEdit* comment_;      // Text5
    QLineEdit* place_;        // Text6
    QLineEdit* instruments_;  // Text7
    QLineEdit* compName_;     // Text8: CNAME of the AAVSO file
    QLineEdit* checkName_;    // Text9: KNAME
    QLineEdit* utOffset_;     // Text10: hours the data's times are ahead of UT
    QCheckBox* hjdBox_;       // Check1: the AAVSO file dated by HJD (from photometry.csv)
    QLabel* errorLabel_;      // Label7
    QLineEdit* epoch_;        // Text11: the ephemeris' epoch, in the times' scale
    QLineEdit* period_;       // Text12: its period in days
    QLabel* minimumLabel_;    // Label8: the last times of minimum
    QPointer<AxisDialog> axisDialog_;
};

// The axis dialog (Form18, "Light Curve X-Y Axis").
class AxisDialog : public QWidget {
    Q_OBJECT
public:
    AxisDialog(LightCurveAxes& axes, std::function<void()> changed, QWidget* parent);
    void accept();
    void autoScaleAxes();

private:
    LightCurveAxes& axes_;
    std::function<void()> changed_;
    std::array<QLineEdit*, 8> fields_{};  // Text1 ... Text8
};

}  // namespace lv
