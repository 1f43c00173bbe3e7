// The image window (Form4): the picture of the current image, titled with the
// file path, with scroll bars when it is larger than the screen.
#pragma once

#include <QImage>
#include <QWidget>

#include "core/picture.h"
#include "core/platform.h"
#include "app/session.h"

class QScrollArea;

namespace lv {

// The picture itself (Picture1): paints the drawn picture and reports the
// mouse in picture points.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);
    void setPicture(RgbPicture picture);
    const RgbPicture& picture() const { return picture_; }
    // Hands the picture's storage on (to the next image window).
    RgbPicture takePicture();
    // Sets single points (markers) and repaints them.
    void setPoint(int x, int y, Rgb colour);

signals:
    void mouseMoved(int x, int y);
    void mousePressed(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    RgbPicture picture_;
    QImage image_;
};

class ImageWindow : public QWidget {
    Q_OBJECT
public:
    ImageWindow(Session& session, Platform& platform, QWidget* parent = nullptr);

    // Draws the whole picture at the display scale: title, saved position,
    // size, then the beep when "Beep On" is ticked. `storage` is a picture
    // whose memory may be reused.
    void draw(RgbPicture storage = {});
    PictureView* view() const { return view_; }
    const RgbPicture& picture() const { return view_->picture(); }

signals:
    // Image position under the mouse (picture point times the display scale).
    void cursorMoved(int px, int py);
    void clicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    Platform& platform_;
    QScrollArea* scroll_;
    PictureView* view_;
};

// The zoom window (Form6, " 20 x 20 Flame"): the 21 x 21 pixels around the
// mouse, enlarged.
class ZoomWindow : public QWidget {
    Q_OBJECT
public:
    ZoomWindow(Session& session, QWidget* parent = nullptr);
    // Repaints the cells around image position (px, py); cells outside the
    // image keep their colour.
    void showAround(int px, int py);
    Rgb cell(int i, int j) const { return cells_[static_cast<std::size_t>((j + 10) * 21 + (i + 10))]; }

    static constexpr int kCellSize = 8;

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    std::vector<Rgb> cells_;
    QWidget* grid_;  // Picture1: the cells, at a fixed size in the middle of the window
};

}  // namespace lv
