#include "ui/display/image_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "display/grey_mapping.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setObjectName("Picture1");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::setPicture(RgbPicture picture)
{
    picture_ = std::move(picture);
    // The QImage shows the picture's own memory: opaque 0xFFRRGGBB points.
    image_ = picture_.empty() ? QImage()
                              : QImage(reinterpret_cast<const uchar*>(picture_.points.data()), picture_.width,
                                       picture_.height, picture_.width * 4, QImage::Format_RGB32);
    setFixedSize(picture_.width, picture_.height);
    update();
}

RgbPicture PictureView::takePicture()
{
    image_ = QImage();
    RgbPicture out = std::move(picture_);
    picture_ = RgbPicture{};
    return out;
}

void PictureView::setPoint(int x, int y, Rgb colour)
{
    if (!picture_.contains(x, y)) return;
    picture_.at(x, y) = colour;
    update(x, y, 1, 1);
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Qt::black);
    p.drawImage(event->rect().topLeft(), image_, event->rect());
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseMoved(pos.x(), pos.y());
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit mousePressed(pos.x(), pos.y(), event->button(), event->modifiers(), event->globalPosition().toPoint());
}

ImageWindow::ImageWindow(Session& session, Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform)
{
    setObjectName("Form4");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    view_ = new PictureView;
    scroll_->setWidget(view_);
    layout->addWidget(scroll_);

    connect(view_, &PictureView::mouseMoved, this, [this](int x, int y) {
        const int s = session_.state.displayScale;
        emit cursorMoved(imageCoordinate(x, s), imageCoordinate(y, s));
    });
    connect(view_, &PictureView::mousePressed, this,
            [this](int x, int y, Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint global) {
                const int s = session_.state.displayScale;
                emit clicked(imageCoordinate(x, s), imageCoordinate(y, s), b, m, global);
            });
}

void ImageWindow::draw(RgbPicture storage)
{
    BusyPointer busy(platform_);
    setWindowTitle(fromLocal(session_.image.fileName));
    buildPicture(session_.image, session_.state, storage);
    view_->setPicture(std::move(storage));

    // Fit the picture, but never beyond the screen: larger frames scroll.
    QSize wanted = view_->size();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize avail = screen->availableGeometry().size() - QSize(40, 80);
        wanted = wanted.boundedTo(avail);
    }
    resize(wanted.expandedTo(QSize(64, 64)));
    placeWindow(this, session_.settings.window(SettingsWindow::Image));
    view_->update();
    if (session_.state.beepOn) platform_.beep();
}

void ImageWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Image) = windowPosition(this);
    emit closing();
    event->accept();
}

namespace {

// The zoom window's cells, painted from the window's colours.
class ZoomGrid : public QWidget {
public:
    ZoomGrid(const std::vector<Rgb>& cells, int cellSize, QWidget* parent)
        : QWidget(parent), cells_(cells), cellSize_(cellSize)
    {
        setObjectName("Picture1");
        setMinimumSize(kZoomCells * cellSize, kZoomCells * cellSize);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        // Square cells as large as the window allows, the grid in its middle.
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        const int cell = std::max(cellSize_, std::min(width(), height()) / kZoomCells);
        const int x0 = (width() - cell * kZoomCells) / 2;
        const int y0 = (height() - cell * kZoomCells) / 2;
        for (int j = 0; j < kZoomCells; ++j)
            for (int i = 0; i < kZoomCells; ++i)
                p.fillRect(x0 + i * cell, y0 + j * cell, cell, cell,
                           QColor::fromRgb(cells_[static_cast<std::size_t>(j * kZoomCells + i)]));
    }

private:
    const std::vector<Rgb>& cells_;
    int cellSize_;
};

}  // namespace

ZoomWindow::ZoomWindow(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), cells_(kZoomCells * kZoomCells, rgb(0, 0, 0))
{
    setObjectName("Form6");
    setWindowTitle(" 20 x 20 Flame");
    setAttribute(Qt::WA_DeleteOnClose);
    // The window is as wide as its caption; the cells grow with it.
    grid_ = new ZoomGrid(cells_, kCellSize, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    // Square, as wide as the caption: the cells fill it.
    const int side = std::max(captionWidth(this), kZoomCells * kCellSize);
    resize(side, side);
    placeWindow(this, session_.settings.window(SettingsWindow::Zoom));
}

void ZoomWindow::showAround(int px, int py)
{
    const auto cells = zoomCells(session_.image, session_.state, px, py);
    if (!cells) return;
    for (std::size_t i = 0; i < cells_.size(); ++i)
        if ((*cells)[i]) cells_[i] = *(*cells)[i];
    grid_->update();
}

void ZoomWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Zoom) = windowPosition(this);
    emit closing();
    event->accept();
}

}  // namespace lv
