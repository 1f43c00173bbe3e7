// Takes a picture of the whole X screen, as a person would see it, and says
// whether a FITS frame is drawn on it: a demo frame shows as many pixels of
// one grey (the sky) with stars of lighter greys, where a window that failed
// to draw shows one flat colour.
//   screen_check OUT.png
// Prints "pixels <n> greys <levels> sky <fraction> window <fraction>" and
// exits 0 when the picture holds a drawn frame and a window around it.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <map>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_check OUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "no screen\n");
        return 1;
    }
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    // Greys darker than a window's face: the frame's sky and noise; the
    // lightest greys are window faces (buttons, fields, backgrounds).
    std::map<int, long long> greys;
    long long dark = 0, face = 0;
    const long long total = static_cast<long long>(shot.width()) * shot.height();
    for (int y = 0; y < shot.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (r != g || g != b) continue;
            ++greys[r];
            if (r > 8 && r < 160) ++dark;
            if (r >= 200 && r < 255) ++face;
        }
    }
    int levels = 0;
    for (const auto& [level, n] : greys)
        if (n >= 20) ++levels;
    const double sky = total ? static_cast<double>(dark) / static_cast<double>(total) : 0;
    const double window = total ? static_cast<double>(face) / static_cast<double>(total) : 0;
    std::printf("pixels %lld greys %d sky %.3f window %.3f\n", total, levels, sky, window);
    // A drawn 512 x 512 frame covers several per cent of the screen in many
    // greys; the main window's face a few per cent more.
    return levels >= 40 && sky >= 0.05 && window >= 0.03 ? 0 : 1;
}
