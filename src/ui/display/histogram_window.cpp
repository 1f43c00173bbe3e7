#include "ui/display/histogram_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

HistogramView::HistogramView(QWidget* parent)
    : QWidget(parent), image_(kWidth, kHeight, QImage::Format_RGB32)
{
    setObjectName("Picture1");
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.fill(0xFFFFFFFFu);
}

void HistogramView::clear()
{
    image_.fill(0xFFFFFFFFu);
    update();
}

void HistogramView::lineToBottom(int x, double y0, QRgb colour)
{
    if (x < 0 || x >= kWidth) return;
    const double top = std::floor(y0 / units_ * kHeight + 0.5);
    const int first = static_cast<int>(std::clamp(top, 0.0, static_cast<double>(kHeight)));
    for (int y = first; y < kHeight; ++y) image_.setPixel(x, y, colour);
    update(x, 0, 1, kHeight);
}

void HistogramView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.drawImage(event->rect().topLeft(), image_, event->rect());
}

void HistogramView::mousePressEvent(QMouseEvent* event)
{
    // One unit per pixel across.
    const double x = std::clamp(event->position().x(), 0.0, static_cast<double>(kHistogramBars));
    emit clicked(std::floor(x), event->button());
}

HistogramWindow::HistogramWindow(Session& session, Platform& platform, std::function<void()> onLevelsAccepted,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      platform_(platform),
      onLevelsAccepted_(std::move(onLevelsAccepted))
{
    setObjectName("Form14");
    setWindowTitle("Histgram");
    setAttribute(Qt::WA_DeleteOnClose);

    view_ = new HistogramView(this);
    QLabel* backgroundLabel = namedLabel("Label1", "Background", this);
    backgroundBox_ = namedLineEdit("Text1", {}, this);
    QLabel* rangeLabel = namedLabel("Label2", "Range", this);
    rangeBox_ = namedLineEdit("Text2", {}, this);
    QPushButton* ok = namedButton("Command1", "OK", this);
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* zoom = namedButton("Command3", "Zoom", this);
    QPushButton* reset = namedButton("Command4", "Reset", this);

    auto* levels = new QGridLayout;
    levels->addWidget(backgroundLabel, 0, 0);
    levels->addWidget(backgroundBox_, 0, 1);
    levels->addWidget(rangeLabel, 1, 0);
    levels->addWidget(rangeBox_, 1, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {zoom, reset, ok, cancel}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 0, Qt::AlignHCenter);
    layout->addLayout(levels);
    layout->addLayout(buttons);

    connect(view_, &HistogramView::clicked, this, &HistogramWindow::pick);
    connect(ok, &QPushButton::clicked, this, &HistogramWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(zoom, &QPushButton::clicked, this, &HistogramWindow::showZoomed);
    connect(reset, &QPushButton::clicked, this, &HistogramWindow::showWholeRange);

    showWholeRange();
}

const QImage& HistogramWindow::picture() const { return view_->image(); }

void HistogramWindow::showWholeRange()
{
    BusyPointer busy(platform_);
    zoomed_ = false;
    pickBackground_ = session_.state.background;
    pickRange_ = session_.state.range;
    showLevels(true);
    draw(wholeRangeBins(session_.image));
}

void HistogramWindow::showZoomed()
{
    BusyPointer busy(platform_);
    zoomed_ = true;
    draw(zoomedBins(session_.image, pickBackground_, pickRange_));
}

void HistogramWindow::draw(const HistogramBins& bins)
{
    bins_ = bins;
    view_->clear();
    view_->setVerticalUnits(static_cast<double>(tallestBar(bins_)) + 1.0);
    for (int i = 0; i < kHistogramBars; ++i) drawBar(i);
}

void HistogramWindow::drawBar(int i)
{
    if (i < 0 || i >= kHistogramBars) return;
    view_->lineToBottom(i, view_->verticalUnits() - static_cast<double>(bins_[static_cast<std::size_t>(i)]), kBar);
}

void HistogramWindow::moveMarker(double& markX, double x, QRgb colour)
{
    const int old = static_cast<int>(std::lround(markX));
    view_->lineToBottom(old, 0.0, kBlank);
    drawBar(old);
    view_->lineToBottom(static_cast<int>(std::lround(x)), 0.0, colour);
    markX = x;
}

void HistogramWindow::pick(double x, Qt::MouseButton button)
{
    const std::int32_t v = zoomed_ ? zoomedValueAt(x, pickBackground_, pickRange_) : wholeRangeValueAt(x, session_.image);
    // Levels near the ends of the 32-bit range must not wrap around.
    if (button == Qt::LeftButton) {
        const double top = static_cast<double>(pickBackground_) + static_cast<double>(pickRange_);
        moveMarker(lowMarkX_, x, kLowMarker);
        pickBackground_ = v;
        pickRange_ = toInt32Saturated(top - static_cast<double>(v));
        showLevels(true);
    } else {
        moveMarker(highMarkX_, x, kHighMarker);
        pickRange_ = toInt32Saturated(static_cast<double>(v) - static_cast<double>(pickBackground_));
        showLevels(false);
    }
}

void HistogramWindow::showLevels(bool background)
{
    if (background) backgroundBox_->setText(fromLocal(plainNumberText(static_cast<std::int64_t>(pickBackground_))));
    rangeBox_->setText(fromLocal(plainNumberText(static_cast<std::int64_t>(pickRange_))));
}

void HistogramWindow::accept()
{
    session_.state.background = pickBackground_;
    session_.state.range = pickRange_;
    if (onLevelsAccepted_) onLevelsAccepted_();
    close();
}

}  // namespace lv
