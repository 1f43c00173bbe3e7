#include "ui/platform/qt_support.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace lv {

QImage toQImage(const RgbPicture& picture)
{
    if (picture.empty()) return {};
    QImage img(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const Rgb* src = picture.points.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
        for (int x = 0; x < picture.width; ++x) line[x] = src[x];  // already opaque 0xFFRRGGBB
    }
    return img;
}

void placeWindow(QWidget* window, const WindowPosition& saved)
{
    if (saved.known) {
        // The saved point is the top left of the window's inside, as
        // windowPosition records it: window managers add their frame around
        // it, so the window opens exactly where it was.
        window->setGeometry(QRect(QPoint(static_cast<int>(std::lround(saved.left / kTwipsPerPixel)),
                                         static_cast<int>(std::lround(saved.top / kTwipsPerPixel))),
                                  window->size()));
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}

WindowPosition windowPosition(const QWidget* window)
{
    const QPoint p = window->geometry().topLeft();
    return {static_cast<double>(p.x()) * kTwipsPerPixel, static_cast<double>(p.y()) * kTwipsPerPixel, true};
}

}  // namespace lv
