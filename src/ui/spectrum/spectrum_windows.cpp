#include "ui/spectrum/spectrum_windows.h"

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "display/raster.h"
#include "processing/polynomial_fit.h"
#include "processing/inclination.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {

constexpr Rgb kYellow = rgb(255, 255, 0);  // colour 14 of the 16-colour palette

}  // namespace

// ---- binning window ----------------------------------------------------------------

BinningWindow::BinningWindow(Session& session, Platform& platform, SpectrumTools tools, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), tools_(std::move(tools))
{
    setObjectName("Form15");
    setWindowTitle("Binning Execution");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* grid = new QGridLayout(this);
    for (int k = 0; k < 5; ++k) {
        auto* o = new QRadioButton(QStringLiteral("Zone%1").arg(k + 1), this);
        o->setObjectName(QStringLiteral("Option%1").arg(k + 1));
        zoneOptions_[static_cast<std::size_t>(k)] = o;
        grid->addWidget(o, k, 0);
        for (int j = 0; j < 2; ++j) {
            QLineEdit* e = namedLineEdit(qPrintable(QStringLiteral("Text%1").arg(2 * k + j + 1)), {}, this);
            rows_[static_cast<std::size_t>(2 * k + j)] = e;
            grid->addWidget(e, k, j + 1);
        }
    }
    zoneOptions_[0]->setChecked(true);
    const std::pair<const char*, const char*> buttons[] = {
        {"Command1", "Set Upper"}, {"Command2", "Set Lower"}, {"Command3", "Up"}, {"Command4", "Down"},
        {"Command5", "Display Line"}, {"Command6", "Binning Execution"}, {"Command7", "Cancel"}};
    auto* column = new QVBoxLayout;
    std::array<QPushButton*, 7> b{};
    for (std::size_t i = 0; i < 7; ++i) {
        b[i] = namedButton(buttons[i].first, buttons[i].second, this);
        column->addWidget(b[i]);
    }
    grid->addLayout(column, 0, 3, 5, 1);
    connect(b[0], &QPushButton::clicked, this, &BinningWindow::setUpper);
    connect(b[1], &QPushButton::clicked, this, &BinningWindow::setLower);
    connect(b[2], &QPushButton::clicked, this, [this] { tools_.moveLine(lineUp(session_.state.lineRow), true); });
    connect(b[3], &QPushButton::clicked, this,
            [this] { tools_.moveLine(lineDown(session_.state.lineRow, session_.image), true); });
    connect(b[4], &QPushButton::clicked, this, [this] { tools_.displayZones(); });
    connect(b[5], &QPushButton::clicked, this, &BinningWindow::execute);
    connect(b[6], &QPushButton::clicked, this, [this] { tools_.closeTools(); });
    placeWindow(this, session_.settings.window(SettingsWindow::Binning));
}

int BinningWindow::selectedZone() const
{
    for (int k = 0; k < 5; ++k)
        if (zoneOptions_[static_cast<std::size_t>(k)]->isChecked()) return k;
    return 0;
}

void BinningWindow::setUpper()
{
    rows_[static_cast<std::size_t>(2 * selectedZone())]->setText(fromLocal(numberText(session_.state.lineRow)));
}

void BinningWindow::setLower()
{
    rows_[static_cast<std::size_t>(2 * selectedZone() + 1)]->setText(fromLocal(numberText(session_.state.lineRow)));
}

BinZones BinningWindow::zones() const
{
    BinZones z{};
    for (std::size_t k = 0; k < 5; ++k)
        z[k] = {toInt32Saturated(leadingNumber(toLocal(rows_[2 * k]->text()))),
                toInt32Saturated(leadingNumber(toLocal(rows_[2 * k + 1]->text())))};
    return z;
}

void BinningWindow::execute()
{
    // The statistics line describes the binned image before "Completion" shows.
    if (!binImage(session_.image, session_.processing.undo, zones(), platform_, [this] {
            session_.state.statistics = statisticsLine(session_.image);
            if (tools_.statisticsChanged) tools_.statisticsChanged();
        }))
        return;
    if (tools_.binned) tools_.binned();
}

void BinningWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Binning) = windowPosition(this);
    event->accept();
}

// ---- curve window ---------------------------------------------------------------------

CurveView::CurveView(Session& session, QWidget* parent) : QWidget(parent), session_(session)
{
    setObjectName("Picture1");
    setMinimumSize(300, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CurveView::redraw()
{
    const FitsImage& image = session_.image;
    picture_ = RgbPicture(std::max(width(), 1), std::max(height(), 1), rgb(255, 255, 0xFF));
    const double unitsWide = image.naxis1 + 0.1;
    const double unitsHigh = std::max(scale, 1);
    auto px = [&](double x) { return static_cast<int>(std::floor(x / unitsWide * picture_.width)); };
    auto py = [&](double y) { return static_cast<int>(std::floor(y / unitsHigh * picture_.height)); };
    for (const CurveSegment& s : curveSegments(image, session_.state.lineRow, offset))
        drawLine(picture_, px(s.x0), py(s.y0), px(s.x1), py(s.y1), rgb(0, 0, 0));
    if (showFit && image.loaded()) {
        // The fitted curve, in the scale the curve itself uses.
        const FitState& fit = session_.processing.fit;
        const double max = image.maxValue == 0 ? 1.0 : image.maxValue;
        for (int x = 1; x < image.naxis1; ++x) {
            const double y = fittedValue(fit.matrix, fit.degree, x - 1.0);
            double h = std::floor((y - image.minValue) / max * 256 + 0.5) + offset;
            h = std::clamp(h, 0.0, 255.0);
            drawLine(picture_, px(x - 1), py(255 - h), px(x), py(255 - h), kYellow);
        }
    }
    update();
}

void CurveView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, toQImage(picture_));
}

void CurveView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    redraw();
}

CurveWindow::CurveWindow(Session& session, QWidget* parent) : QWidget(parent, Qt::Window), session_(session)
{
    setObjectName("Form13");
    setWindowTitle("Intensity Curve");
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CurveView(session_, this);
    auto bar = [this](const char* name) {
        auto* b = new QScrollBar(Qt::Vertical, this);
        b->setObjectName(name);
        b->setRange(0, 511);
        b->setValue(255);
        return b;
    };
    offsetBar_ = bar("VScroll1");
    scaleBar_ = bar("VScroll2");
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(offsetBar_);
    layout->addWidget(scaleBar_);
    connect(offsetBar_, &QScrollBar::valueChanged, this, [this](int v) {
        view_->offset = v - 255;
        view_->redraw();
    });
    connect(scaleBar_, &QScrollBar::valueChanged, this, [this](int v) {
        view_->scale = v <= 0 ? 1 : v;
        view_->redraw();
    });
    resize(620, 300);
    placeWindow(this, session_.settings.window(SettingsWindow::IntensityGraph));
}

void CurveWindow::showLine()
{
    setWindowTitle(fromLocal("Intensity Curve : y =" + numberText(session_.state.lineRow)));
    view_->redraw();
}

void CurveWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::IntensityGraph) = windowPosition(this);
    event->accept();
}

// ---- intensity-curve file window ----------------------------------------------------------

CurveFileWindow::CurveFileWindow(Session& session, Platform& platform, SpectrumTools tools, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), tools_(std::move(tools))
{
    setObjectName("Form12");
    setWindowTitle("Intensity curve");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* axis = new QGroupBox("X -axis", this);
    axis->setObjectName("Frame1");
    pixel_ = new QRadioButton("Pixel", axis);
    pixel_->setObjectName("Option1");
    wavelength_ = new QRadioButton("Wavelength", axis);
    wavelength_->setObjectName("Option2");
    pixel_->setChecked(true);
    const AppSettings& s = session_.settings;
    start_ = namedLineEdit("Text1", fromLocal(plainNumberText(s.axisStart)), this);
    end_ = namedLineEdit("Text2", fromLocal(plainNumberText(s.axisEnd)), this);
    name_ = namedLineEdit("Text3", fromLocal(defaultCurveName(session_.image.fileName)), this);
    auto* axisLayout = new QGridLayout(axis);
    axisLayout->addWidget(pixel_, 0, 0);
    axisLayout->addWidget(wavelength_, 1, 0);
    axisLayout->addWidget(new QLabel("start", axis), 0, 1);
    axisLayout->addWidget(start_, 0, 2);
    axisLayout->addWidget(new QLabel("end", axis), 1, 1);
    axisLayout->addWidget(end_, 1, 2);
    axisLayout->addWidget(new QLabel("Angstrom", axis), 0, 3, 2, 1);
    const std::pair<const char*, const char*> buttons[] = {{"Command1", "Up"}, {"Command2", "Down"},
                                                           {"Command3", "Inclination compensation"},
                                                           {"Command4", "UnDo"}, {"Command5", "Save to disk"},
                                                           {"Command6", "Cancel"}};
    std::array<QPushButton*, 6> b{};
    auto* row = new QHBoxLayout;
    for (std::size_t i = 0; i < 6; ++i) {
        b[i] = namedButton(buttons[i].first, buttons[i].second, this);
        row->addWidget(b[i]);
    }
    undoButton_ = b[3];
    undoButton_->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(axis);
    layout->addWidget(name_);
    layout->addLayout(row);
    connect(pixel_, &QRadioButton::toggled, this, &CurveFileWindow::showAxisMode);
    connect(b[0], &QPushButton::clicked, this, [this] { tools_.moveLine(lineUp(session_.state.lineRow), true); });
    connect(b[1], &QPushButton::clicked, this,
            [this] { tools_.moveLine(lineDown(session_.state.lineRow, session_.image), true); });
    connect(b[2], &QPushButton::clicked, this, &CurveFileWindow::compensate);
    connect(b[3], &QPushButton::clicked, this, &CurveFileWindow::undoLine);
    connect(b[4], &QPushButton::clicked, this, &CurveFileWindow::save);
    connect(b[5], &QPushButton::clicked, this, [this] { tools_.closeTools(); });
    showAxisMode();
    placeWindow(this, session_.settings.window(SettingsWindow::IntensityCurve));
}

void CurveFileWindow::showAxisMode()
{
    // In pixel mode the wavelength fields do not apply.
    start_->setEnabled(wavelength_->isChecked());
    end_->setEnabled(wavelength_->isChecked());
}

void CurveFileWindow::compensate()
{
    if (!compensateLine(session_.image, session_.state.lineRow, savedLine_)) return;
    if (tools_.redrawCurve) tools_.redrawCurve();
    undoButton_->setEnabled(true);
}

void CurveFileWindow::undoLine()
{
    if (!restoreLine(session_.image, savedLine_)) return;
    if (tools_.redrawCurve) tools_.redrawCurve();
    undoButton_->setEnabled(false);
}

CurveFileSettings CurveFileWindow::settings() const
{
    CurveFileSettings s;
    s.name = toLocal(name_->text());
    s.wavelength = wavelength_->isChecked();
    s.start = leadingNumber(toLocal(start_->text()));
    s.end = leadingNumber(toLocal(end_->text()));
    return s;
}

void CurveFileWindow::save()
{
    const CurveFileSettings s = settings();
    if (s.wavelength) {
        session_.settings.axisStart = s.start;
        session_.settings.axisEnd = s.end;
    }
    saveCurveFiles(session_.image, session_.state.lineRow, s, platform_);
}

void CurveFileWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::IntensityCurve) = windowPosition(this);
    event->accept();
}

// ---- horizontal graph -------------------------------------------------------------------------

namespace {
constexpr int kUnitWidth = 6;  // picture points per column shown, at the first size
constexpr int kGraphPictureHeight = 300;  // the picture's height in drawing units

// The picture area: as large as the window lets it be.
class GraphArea : public QWidget {
public:
    explicit GraphArea(QWidget* parent) : QWidget(parent)
    {
        setObjectName("Picture1");
        setMinimumSize(51 * 3, kGraphPictureHeight / 2);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return {51 * kUnitWidth, kGraphPictureHeight}; }
};
}  // namespace

HorizontalGraphWindow::HorizontalGraphWindow(Session& session, HorizontalGraph graph, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), graph_(graph)
{
    setObjectName("Form24");
    setWindowTitle("horizontal graph");
    setAttribute(Qt::WA_DeleteOnClose);
    pictureArea_ = new GraphArea(this);
    auto* buttons = new QHBoxLayout;
    const char* frames[] = {"Line", "Zoom", "Level"};
    std::array<QPushButton*, 6> b{};
    for (int f = 0; f < 3; ++f) {
        auto* box = new QGroupBox(frames[f], this);
        box->setObjectName(QStringLiteral("Frame%1").arg(f + 1));
        auto* l = new QHBoxLayout(box);
        for (int j = 0; j < 2; ++j) {
            b[static_cast<std::size_t>(2 * f + j)] =
                namedButton(qPrintable(QStringLiteral("Command%1").arg(2 * f + j + 1)), j == 0 ? "U" : "D", box);
            l->addWidget(b[static_cast<std::size_t>(2 * f + j)]);
        }
        buttons->addWidget(box);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pictureArea_, 1);
    layout->addLayout(buttons);
    auto press = [this](QPushButton* button, std::function<void()> step) {
        connect(button, &QPushButton::clicked, this, [this, step] {
            step();
            redraw();
        });
    };
    press(b[0], [this] { graphLineUp(graph_, session_.image); });
    press(b[1], [this] { graphLineDown(graph_); });
    press(b[2], [this] { graphZoomUp(graph_); });
    press(b[3], [this] { graphZoomDown(graph_); });
    press(b[4], [this] { graphLevelUp(graph_); });
    press(b[5], [this] { graphLevelDown(graph_); });
    redraw();
}

void HorizontalGraphWindow::redraw()
{
    // 51 columns across the picture, 300 drawing units down it.
    const int w = std::max(pictureArea_->width(), 51);
    const int h = std::max(pictureArea_->height(), 1);
    picture_ = RgbPicture(w, h, rgb(255, 255, 255));
    const int dot = std::max(2, w / 153);
    for (const GraphDot& d : graphDots(graph_, session_.image)) {
        const int x = static_cast<int>((d.i + 0.5) * w / 51.0);
        const int y = static_cast<int>(std::floor(d.y * static_cast<double>(h) / kGraphPictureHeight));
        drawPoint(picture_, x, y, dot, rgb(0, 0, 0));
    }
    update();
}

void HorizontalGraphWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    redraw();
}

void HorizontalGraphWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(pictureArea_->geometry().topLeft(), toQImage(picture_));
}

}  // namespace lv
