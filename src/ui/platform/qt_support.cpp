#include "ui/platform/qt_support.h"

#include "ui/widgets.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

#include <algorithm>
#include <vector>

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

namespace {

// What the window manager puts around a window's inside, as it framed the
// windows already open (none offscreen).
QMargins frameMargins(const QWidget* except)
{
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == except || !w->isVisible()) continue;
        const QRect f = w->frameGeometry();
        const QRect g = w->geometry();
        if (f == g) continue;
        return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
    }
    // No window framed yet: what window managers commonly add.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return {};
    return {4, 30, 4, 4};
}

QRect screenAreaFor(const QWidget* window, QPoint near)
{
    const QScreen* screen = QGuiApplication::screenAt(near);
    if (!screen && window->parentWidget()) screen = window->parentWidget()->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
}

long long overlap(const QRect& a, const QRect& b)
{
    const QRect c = a.intersected(b);
    return c.isEmpty() ? 0 : static_cast<long long>(c.width()) * c.height();
}

}  // namespace

void fitFirstSize(QWidget* window)
{
    window->ensurePolished();
    if (QLayout* l = window->layout()) l->activate();
    QSize size = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
    size = size.expandedTo(window->minimumSizeHint()).expandedTo(window->minimumSize());
    if (!window->windowTitle().isEmpty()) size.setWidth(std::max(size.width(), captionWidth(window)));
    const QMargins m = frameMargins(window);
    const QRect area = screenAreaFor(window, window->geometry().center());
    size = size.boundedTo(area.size().shrunkBy(m)).boundedTo(window->maximumSize());
    window->resize(size);
}

void placeWindow(QWidget* window, const WindowPosition& saved, const QList<const QWidget*>& keepClear)
{
    fitFirstSize(window);
    const QMargins m = frameMargins(window);
    const QSize frame = window->size().grownBy(m);
    // Where the window would go: its saved place (the saved point is the top
    // left of its inside, as windowPosition records it: the window manager
    // adds its frame around it), or over the middle of its parent.
    QPoint wanted;
    if (saved.known) {
        wanted = QPoint(static_cast<int>(std::lround(saved.left / kTwipsPerPixel)) - m.left(),
                        static_cast<int>(std::lround(saved.top / kTwipsPerPixel)) - m.top());
    } else {
        const QWidget* over = window->parentWidget() ? window->parentWidget()->window() : nullptr;
        const QRect base = over && over->isVisible() ? over->frameGeometry() : screenAreaFor(window, QPoint());
        wanted = base.center() - QPoint(frame.width() / 2, frame.height() / 2);
    }
    const QRect area = screenAreaFor(window, wanted + QPoint(frame.width() / 2, frame.height() / 2));
    auto inside = [&](QPoint p) {
        return QPoint(std::clamp(p.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())),
                      std::clamp(p.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    };

    struct Obstacle {
        QRect rect;
        long long weight;
    };
    std::vector<Obstacle> obstacles;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == window || !w->isVisible() || w->objectName().isEmpty() || w->isMinimized()) continue;
        const bool main = !w->parentWidget();
        // A window shown a moment ago may not have its frame yet.
        QRect r = w->frameGeometry();
        if (r == w->geometry()) r = r.marginsAdded(m);
        obstacles.push_back({r, keepClear.contains(w) ? 100 : main ? 1 : 3});
    }
    // Windows side by side keep a small gap, so that no frame touches another.
    constexpr int kGap = 6;
    std::vector<QPoint> candidates{inside(wanted)};
    for (const Obstacle& o : obstacles) {
        const QRect r = o.rect;
        const int right = r.right() + 1 + kGap;
        const int below = r.bottom() + 1 + kGap;
        const int left = r.left() - kGap - frame.width();
        const int above = r.top() - kGap - frame.height();
        for (QPoint p : {QPoint(right, wanted.y()), QPoint(right, r.top()), QPoint(right, area.top()),
                         QPoint(left, wanted.y()), QPoint(left, r.top()), QPoint(left, area.top()),
                         QPoint(wanted.x(), below), QPoint(r.left(), below), QPoint(area.left(), below),
                         QPoint(wanted.x(), above), QPoint(r.left(), above), QPoint(area.left(), above)})
            candidates.push_back(inside(p));
        for (const Obstacle& o2 : obstacles) {
            candidates.push_back(inside(QPoint(right, o2.rect.bottom() + 1 + kGap)));
            candidates.push_back(inside(QPoint(o2.rect.right() + 1 + kGap, below)));
        }
    }
    candidates.push_back(inside(area.topLeft()));
    candidates.push_back(inside(QPoint(area.right(), area.top())));
    candidates.push_back(inside(QPoint(area.left(), area.bottom())));
    candidates.push_back(inside(area.bottomRight()));

    QPoint best = candidates.front();
    long long bestCover = -1;
    long long bestDistance = 0;
    for (const QPoint& p : candidates) {
        const QRect r(p, frame);
        const QRect withGap = r.adjusted(-kGap + 1, -kGap + 1, kGap - 1, kGap - 1);
        long long cover = 0;
        for (const Obstacle& o : obstacles) cover += o.weight * overlap(withGap, o.rect);
        const QPoint d = p - wanted;
        const long long distance = static_cast<long long>(d.x()) * d.x() + static_cast<long long>(d.y()) * d.y();
        if (bestCover < 0 || cover < bestCover || (cover == bestCover && distance < bestDistance)) {
            best = p;
            bestCover = cover;
            bestDistance = distance;
        }
    }
    window->setGeometry(QRect(best + QPoint(m.left(), m.top()), window->size()));
    markPlaced(window);
}

void keepOnScreen(QWidget* window)
{
    if (QLayout* l = window->layout()) l->activate();
    const QSize size = window->size().expandedTo(window->minimumSize());
    const QRect frame = window->frameGeometry();
    const QMargins m(window->geometry().left() - frame.left(), window->geometry().top() - frame.top(),
                     frame.right() - window->geometry().right(), frame.bottom() - window->geometry().bottom());
    const QSize outer = size.grownBy(m);
    const QRect area = screenAreaFor(window, frame.center());
    const QPoint at(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
                    std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (at != frame.topLeft() || size != window->size())
        window->setGeometry(QRect(at + QPoint(m.left(), m.top()), size));
}

WindowPosition windowPosition(const QWidget* window)
{
    const QPoint p = window->geometry().topLeft();
    return {static_cast<double>(p.x()) * kTwipsPerPixel, static_cast<double>(p.y()) * kTwipsPerPixel, true};
}

}  // namespace lv
