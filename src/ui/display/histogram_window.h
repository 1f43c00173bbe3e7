// The histogram window (Form14, "Histgram"): the values of the image as 300
// bars, over the whole value range or zoomed on the levels being picked. A
// left click picks the background, any other click the top of the range.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "core/picture.h"
#include "core/platform.h"
#include "app/session.h"
#include "display/histogram.h"

class QLineEdit;

namespace lv {

// The drawing surface (Picture1): 300 units across, one unit per pixel, and
// reports clicks in units.
class HistogramView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = kHistogramBars + 1;
    static constexpr int kHeight = 200;

    explicit HistogramView(QWidget* parent = nullptr);
    const QImage& image() const { return image_; }
    void clear();
    // Sets the vertical scale: `units` from the top (0) to the bottom edge.
    void setVerticalUnits(double units) { units_ = units; }
    double verticalUnits() const { return units_; }
    // A vertical line at unit x from unit y0 down to the bottom edge.
    void lineToBottom(int x, double y0, QRgb colour);

signals:
    void clicked(double x, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage image_;
    double units_ = 1.0;
};

class HistogramWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QRgb kBar = 0xFF00FF00u;
    static constexpr QRgb kBlank = 0xFFFFFFFFu;
    static constexpr QRgb kLowMarker = 0xFF0000FFu;
    static constexpr QRgb kHighMarker = 0xFFFF0000u;

    // `onLevelsAccepted` runs after "OK" has stored the picked levels.
    HistogramWindow(Session& session, Platform& platform, std::function<void()> onLevelsAccepted,
                    QWidget* parent = nullptr);

    // A click at unit x (0 ... 300): left picks the background, others the top.
    void pick(double x, Qt::MouseButton button);

    std::int32_t pickBackground() const { return pickBackground_; }
    std::int32_t pickRange() const { return pickRange_; }
    bool zoomed() const { return zoomed_; }
    const HistogramBins& bins() const { return bins_; }
    const QImage& picture() const;

private:
    void showWholeRange();  // opening and "Reset"
    void showZoomed();      // "Zoom"
    void draw(const HistogramBins& bins);
    void drawBar(int i);
    void moveMarker(double& markX, double x, QRgb colour);
    void showLevels(bool background);
    void accept();

    Session& session_;
    Platform& platform_;
    std::function<void()> onLevelsAccepted_;
    HistogramView* view_;
    QLineEdit* backgroundBox_;  // Text1
    QLineEdit* rangeBox_;       // Text2

    std::int32_t pickBackground_ = 0;
    std::int32_t pickRange_ = 0;
    bool zoomed_ = false;
    HistogramBins bins_{};
    double lowMarkX_ = 0;
    double highMarkX_ = 0;
};

}  // namespace lv
