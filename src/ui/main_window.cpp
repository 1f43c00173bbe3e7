#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include "core/conventions.h"
#include "core/fits_reader.h"
#include "display/export_window.h"
#include "display/grey_mapping.h"
#include "display/header_window.h"
#include "display/histogram_window.h"
#include "display/image_window.h"
#include "ui/file_dialog.h"
#include "ui/platform/qt_support.h"

namespace lv {

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

QPushButton* button(const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    return b;
}

QLabel* label(const char* name, const QString& caption)
{
    auto* l = new QLabel(caption);
    l->setObjectName(name);
    return l;
}

QLineEdit* textBox(const char* name, bool readOnly = false)
{
    auto* t = new QLineEdit;
    t->setObjectName(name);
    t->setReadOnly(readOnly);
    return t;
}

}  // namespace

MainWindow::MainWindow(Session& session, Platform& platform, QWidget* parent)
    : QMainWindow(parent), session_(session), platform_(platform)
{
    setObjectName("Form1");
    setWindowTitle("Lumavist ver5.06b");
    setAcceptDrops(true);
    buildMenus();
    buildControls();
    resetPhotometry();
}

MainWindow::~MainWindow() = default;

ImageWindow* MainWindow::imageWindow() const { return imageWindow_; }
ZoomWindow* MainWindow::zoomWindow() const { return zoomWindow_; }
FileDialog* MainWindow::fileDialog() const { return fileDialog_; }
HistogramWindow* MainWindow::histogramWindow() const { return histogramWindow_; }
HeaderWindow* MainWindow::headerWindow() const { return headerWindow_; }
PictureExportWindow* MainWindow::exportWindow() const { return exportWindow_; }

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("file_menu");
    connect(addItem(file, "file_menu_open", "Open"), &QAction::triggered, this,
            [this] { openFileDialog(FileDialogMode::Open, "File open"); });
    connect(addItem(file, "file_menu_save", "Save"), &QAction::triggered, this,
            [this] { openFileDialog(FileDialogMode::Save, "File save"); });
    connect(addItem(file, "file_menu_save_bmp", "Save to BMP,JPEG"), &QAction::triggered, this,
            [this] { openPictureExport(); });
    connect(addItem(file, "file_menu_exit", "Exit"), &QAction::triggered, this, [this] { close(); });

    QMenu* display = menuBar()->addMenu("Display");
    display->setObjectName("display_menu");
    connect(addItem(display, "display_menu_header", "Header"), &QAction::triggered, this, [this] { openHeader(); });
    actImage_ = addItem(display, "display_menu_image", "Image");
    actImage_->setCheckable(true);
    actImage_->setChecked(true);
    connect(actImage_, &QAction::triggered, this, [this] { displayImage(1); });
    actImageHalf_ = addItem(display, "display_menu_image_12", "Image 1/2");
    actImageHalf_->setCheckable(true);
    connect(actImageHalf_, &QAction::triggered, this, [this] { displayImage(2); });
    connect(addItem(display, "display_menu_image_rotation", "Image rotation"), &QAction::triggered, this, [this] {
        rotateHalfTurn(session_.image);
        redraw();
    });
    connect(addItem(display, "display_menu_adjust", "Contrast adjust"), &QAction::triggered, this,
            [this] { openHistogram(); });
    actDusky_ = addItem(display, "display_menu_dusky_picture", "Dusky picture");
    actDusky_->setCheckable(true);
    connect(actDusky_, &QAction::toggled, this, [this](bool on) { session_.state.duskyPicture = on; });

    QMenu* photometry = menuBar()->addMenu("Photometry");
    photometry->setObjectName("photometry_menu");
    buildPhotometryMenu(photometry);

    QMenu* utility = menuBar()->addMenu("Utility");
    utility->setObjectName("utility_menu");
    actBeep_ = addItem(utility, "utility_menu_beep", "Beep On");
    actBeep_->setCheckable(true);
    connect(actBeep_, &QAction::toggled, this, [this](bool on) {
        session_.state.beepOn = on;
        session_.settings.beepOn = on ? 1 : 0;
    });

    QAction* version = menuBar()->addAction("Ver");
    version->setObjectName("version_menu");
    connect(version, &QAction::triggered, this, [this] { showVersion(); });
}

void MainWindow::buildControls()
{
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);

    auto* contrast = new QGroupBox;
    auto* grid = new QGridLayout(contrast);
    grid->addWidget(label("Label1", "Contrast"), 0, 0, 1, 4);
    grid->addWidget(label("Label2", "Range"), 1, 0);
    rangeBox_ = textBox("Text1");
    grid->addWidget(rangeBox_, 1, 1);
    QPushButton* rangeUp = button("Command1", "+");
    QPushButton* rangeDown = button("Command2", "-");
    grid->addWidget(rangeUp, 1, 2);
    grid->addWidget(rangeDown, 1, 3);
    grid->addWidget(label("Label3", "Background"), 2, 0);
    backgroundBox_ = textBox("Text2");
    grid->addWidget(backgroundBox_, 2, 1);
    QPushButton* backgroundUp = button("Command3", "+");
    QPushButton* backgroundDown = button("Command4", "-");
    grid->addWidget(backgroundUp, 2, 2);
    grid->addWidget(backgroundDown, 2, 3);
    QPushButton* autoButton = button("Command5", "Auto");
    grid->addWidget(autoButton, 3, 1);
    column->addWidget(contrast);

    auto* cursor = new QGroupBox;
    auto* row = new QGridLayout(cursor);
    row->addWidget(label("Label9", "Cursor"), 0, 0);
    cursorX_ = textBox("Text12", true);
    cursorY_ = textBox("Text13", true);
    cursorValue_ = textBox("Text14", true);
    row->addWidget(cursorX_, 0, 1);
    row->addWidget(cursorY_, 0, 2);
    row->addWidget(cursorValue_, 0, 3);
    column->addWidget(cursor);

    statistics_ = label("Label4", fromLocal(session_.state.statistics));
    column->addWidget(statistics_);
    column->addWidget(buildPhotometryControls());
    column->addStretch();
    setCentralWidget(central);

    // Typing sets the level; a change of levels alone does not redraw.
    connect(rangeBox_, &QLineEdit::textEdited, this,
            [this](const QString& t) { session_.state.range = toInt32Saturated(leadingNumber(toLocal(t))); });
    connect(backgroundBox_, &QLineEdit::textEdited, this,
            [this](const QString& t) { session_.state.background = toInt32Saturated(leadingNumber(toLocal(t))); });
    auto scaleLevel = [this](std::int32_t& level, double factor, QLineEdit* box) {
        level = toInt32Saturated(static_cast<double>(level) * factor);
        setLevelText(box, level);
    };
    connect(rangeUp, &QPushButton::clicked, this, [=, this] { scaleLevel(session_.state.range, 1.1, rangeBox_); });
    connect(rangeDown, &QPushButton::clicked, this, [=, this] { scaleLevel(session_.state.range, 0.9, rangeBox_); });
    connect(backgroundUp, &QPushButton::clicked, this,
            [=, this] { scaleLevel(session_.state.background, 1.001, backgroundBox_); });
    connect(backgroundDown, &QPushButton::clicked, this,
            [=, this] { scaleLevel(session_.state.background, 0.999, backgroundBox_); });
    connect(autoButton, &QPushButton::clicked, this, [this] {
        BusyPointer busy(platform_);
        autoLevels(session_.image, session_.state);
        showLevels();
    });
}

void MainWindow::setLevelText(QLineEdit* box, std::int32_t value) { box->setText(fromLocal(numberText(value))); }

void MainWindow::showLevels()
{
    setLevelText(rangeBox_, session_.state.range);
    setLevelText(backgroundBox_, session_.state.background);
}

void MainWindow::showStatistics() { statistics_->setText(fromLocal(session_.state.statistics)); }

void MainWindow::startUp(const std::string& commandLinePath)
{
    AppState& s = session_.state;
    if (s.startFolder.empty()) s.startFolder = toLocal(QDir::toNativeSeparators(QDir::currentPath()));
    s.settingsPath = settingsPathIn(s.startFolder);
    readSettings(s.settingsPath, session_.settings);
    const AppSettings& settings = session_.settings;

    actBeep_->setChecked(settings.beepOn == 1);
    s.beepOn = settings.beepOn == 1;
    placeWindow(this, settings.window(SettingsWindow::Main));

    session_.image.fileName.clear();
    s.bzeroSign = 1;
    s.displayScale = 1;
    actImage_->setChecked(true);
    actImageHalf_->setChecked(false);
    s.readCalcMode = 0;
    s.readCalcValue = 0;
    s.duskyPicture = false;
    actDusky_->setChecked(false);
    s.lineDisplay = false;
    resetPhotometry();

    // Windows that have no saved position yet get a centred one, so that the
    // settings file written at exit holds a position for each.
    for (auto& w : session_.settings.windows) {
        if (w.known) continue;
        QWidget probe;
        probe.resize(400, 300);
        placeWindow(&probe, w);
        w = windowPosition(&probe);
    }

    if (!commandLinePath.empty()) openDroppedFile(commandLinePath);
}

void MainWindow::showVersion() { platform_.message("Lumavist Version 5.06b\r\nFeb/2018", "Astronomical Photometry"); }

// ---- display ------------------------------------------------------------------

void MainWindow::displayImage(int scale)
{
    session_.state.displayScale = scale;
    actImage_->setChecked(scale == 1);
    actImageHalf_->setChecked(scale == 2);
    redraw();
}

void MainWindow::redraw()
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    session_.state.lineDisplay = false;
    // The new picture has no markers.
    session_.photometry.markersShown = false;
    crossButton_->setText("Cross on");
    // A redraw opens a new image window; it reuses the old picture's memory.
    RgbPicture storage;
    if (imageWindow_) {
        storage = imageWindow_->view()->takePicture();
        imageWindow_->close();
    }
    auto* window = new ImageWindow(session_, platform_, this);
    imageWindow_ = window;
    connect(window, &ImageWindow::cursorMoved, this, &MainWindow::onCursorMoved);
    connect(window, &ImageWindow::clicked, this, &MainWindow::onImageClicked);
    connect(window, &ImageWindow::closing, this, [this] {
        if (zoomWindow_) zoomWindow_->close();
    });
    window->draw(std::move(storage));
    window->show();
    if (zoomWindow_) zoomWindow_->close();
}

void MainWindow::onCursorMoved(int px, int py)
{
    cursorX_->setText(fromLocal(numberText(px)));
    cursorY_->setText(fromLocal(numberText(py)));
    if (px < kMaxAxis - 1 && py < kMaxAxis - 1) cursorValue_->setText(fromLocal(numberText(session_.image.value(px, py))));
    if (zoomWindow_) zoomWindow_->showAround(px, py);
}

void MainWindow::onImageClicked(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos)
{
    onCursorMoved(px, py);
    if (session_.state.lineDisplay) return;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (button == Qt::RightButton && shift) {
        platform_.clearClipboard();
        if (imageWindow_) platform_.setClipboardPicture(imageWindow_->picture());
    } else if (button == Qt::RightButton) {
        openPositionSet(globalPos);
    } else if (button == Qt::LeftButton && !shift) {
        openZoomWindow();
    }
}

void MainWindow::openZoomWindow()
{
    if (zoomWindow_) return;
    auto* zoom = new ZoomWindow(session_, this);
    zoomWindow_ = zoom;
    zoom->show();
}

void MainWindow::closeImageWindows()
{
    if (fileDialog_) fileDialog_->close();
    if (headerWindow_) headerWindow_->close();
    if (imageWindow_) imageWindow_->close();
    if (zoomWindow_) zoomWindow_->close();
}

// ---- files --------------------------------------------------------------------

void MainWindow::openDroppedFile(const std::string& path)
{
    if (!openFileAsDropped(session_.image, session_.state, path, platform_)) {
        showStatistics();
        return;
    }
    showStatistics();
    autoLevels(session_.image, session_.state);
    showLevels();
    displayImage(1);
}

void MainWindow::openFromFileDialog(const std::string& path)
{
    {
        BusyPointer busy(platform_);
        readFitsFile(session_.image, session_.state, path, ReadForm::Dialog, platform_);
        closeImageWindows();
        autoLevels(session_.image, session_.state);
        showLevels();
        showStatistics();
    }
    if (session_.state.beepOn) platform_.beep();
}

void MainWindow::setFileDialogHandler(FileDialogMode mode, FileDialogHandler handler)
{
    fileDialogHandlers_[mode] = std::move(handler);
}

void MainWindow::runFileDialogHandler(FileDialogMode mode, const std::string& path)
{
    const auto it = fileDialogHandlers_.find(mode);
    if (it != fileDialogHandlers_.end() && it->second) it->second(path);
}

void MainWindow::openFileDialog(FileDialogMode mode, const QString& caption)
{
    if (fileDialog_) fileDialog_->close();
    session_.state.fileDialogMode = mode;
    auto* dialog = new FileDialog(*this, caption);
    fileDialog_ = dialog;
    dialog->show();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    event->acceptProposedAction();
    openDroppedFile(toLocal(QDir::toNativeSeparators(urls.first().toLocalFile())));
}

// ---- secondary windows --------------------------------------------------------

void MainWindow::openHistogram()
{
    if (histogramWindow_) histogramWindow_->close();
    auto* w = new HistogramWindow(*this, this);
    histogramWindow_ = w;
    w->show();
}

void MainWindow::openHeader()
{
    if (headerWindow_) headerWindow_->close();
    auto* w = new HeaderWindow(session_, this);
    headerWindow_ = w;
    w->show();
}

void MainWindow::openPictureExport()
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    displayImage(1);
    if (exportWindow_) exportWindow_->close();
    auto* w = new PictureExportWindow(session_, platform_, imageWindow_ ? imageWindow_->picture() : RgbPicture{}, this);
    exportWindow_ = w;
    w->show();
}

// ---- start, stop, minimise -------------------------------------------------------

void MainWindow::recordWindowPositions()
{
    session_.settings.window(SettingsWindow::Main) = windowPosition(this);
    auto record = [this](QWidget* w, SettingsWindow slot) {
        if (w) session_.settings.window(slot) = windowPosition(w);
    };
    record(fileDialog_, SettingsWindow::FileDialog);
    record(headerWindow_, SettingsWindow::Header);
    record(imageWindow_, SettingsWindow::Image);
    record(zoomWindow_, SettingsWindow::Zoom);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    recordWindowPositions();
    std::string error;
    if (!session_.state.settingsPath.empty() && !writeSettings(session_.state.settingsPath, session_.settings, error))
        platform_.message(error);
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isWindow()) w->close();
    event->accept();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // The comparison-star and horizontal-graph windows stay as they are.
    auto followers = [this] {
        QList<QWidget*> out;
        for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isWindow() && w->isVisible() && w->objectName() != "Form23" && w->objectName() != "Form24")
                out.push_back(w);
        return out;
    };
    if (isMinimized()) {
        for (QWidget* w : followers()) w->showMinimized();
        minimisedTogether_ = true;
    } else if (minimisedTogether_ && !(windowState() & Qt::WindowMinimized)) {
        for (QWidget* w : followers()) w->showNormal();
        minimisedTogether_ = false;
    }
}

}  // namespace lv
