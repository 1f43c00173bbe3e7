#include "ui/main_window.h"

#include "core/version.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/current_folder.h"
#include "app/image_commands.h"
#include "core/conventions.h"
#include "display/grey_mapping.h"
#include "ui/display/export_window.h"
#include "ui/display/header_window.h"
#include "ui/display/histogram_window.h"
#include "ui/display/image_window.h"
#include "ui/file_dialog.h"
#include "ui/lightcurve/light_curve_panel.h"
#include "ui/photometry/photometry_panel.h"
#include "ui/folder_window.h"
#include "ui/processing/processing_panel.h"
#include "ui/spectrum/spectrum_panel.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

MainWindow::MainWindow(Session& session, Platform& platform, QWidget* parent)
    : QMainWindow(parent), session_(session), platform_(platform)
{
    setObjectName("Form1");
    setWindowTitle("Lumavist ver" LUMAVIST_VERSION_TEXT);
    setAcceptDrops(true);
    photometry_ = new PhotometryPanel(session_, platform_, *this, this);
    processing_ = new ProcessingPanel(session_, platform_, *this, this);
    lightCurve_ = new LightCurvePanel(session_, platform_, *this, this);
    spectrum_ = new SpectrumPanel(session_, platform_, *this, this);
    // The spectrum panel sees image clicks first: Shift + left click opens
    // the horizontal graph in every mode.
    panels_ = {spectrum_, photometry_, lightCurve_, processing_};
    buildMenus();
    buildControls();
    for (Panel* p : panels_) p->startUp();
}

MainWindow::~MainWindow() = default;

ImageWindow* MainWindow::imageWindow() const { return imageWindow_; }
ZoomWindow* MainWindow::zoomWindow() const { return zoomWindow_; }
FileDialog* MainWindow::fileDialog() const { return fileDialog_; }
FolderWindow* MainWindow::folderWindow() const { return folderWindow_; }
HistogramWindow* MainWindow::histogramWindow() const { return histogramWindow_; }
HeaderWindow* MainWindow::headerWindow() const { return headerWindow_; }
PictureExportWindow* MainWindow::exportWindow() const { return exportWindow_; }

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = fileMenu_ = namedMenu(bar, "file_menu", "File");
    connect(namedItem(file, "file_menu_open", "Open"), &QAction::triggered, this, [this] {
        openFileDialog(FileDialogMode::Open, "File open",
                       [this](FileDialog&, const std::string& path) { openFromFileDialog(path); });
    });
    connect(namedItem(file, "file_menu_save", "Save"), &QAction::triggered, this, [this] {
        openFileDialog(FileDialogMode::Save, "File save", [this](FileDialog& dialog, const std::string& path) {
            if (saveImage(session_, {path, dialog.bitpix()}, platform_)) dialog.close();
        });
    });
    connect(namedItem(file, "file_menu_save_bmp", "Save to BMP,JPEG"), &QAction::triggered, this,
            [this] { openPictureExport(); });
    connect(namedItem(file, "file_menu_exit", "Exit"), &QAction::triggered, this, [this] { close(); });

    QMenu* display = namedMenu(bar, "display_menu", "Display");
    connect(namedItem(display, "display_menu_header", "Header"), &QAction::triggered, this,
            [this] { reopen(headerWindow_, [this] { return new HeaderWindow(session_, this); }); });
    actImage_ = namedItem(display, "display_menu_image", "Image", true);
    actImage_->setChecked(true);
    connect(actImage_, &QAction::triggered, this, [this] { displayImage(1); });
    actImageHalf_ = namedItem(display, "display_menu_image_12", "Image 1/2", true);
    connect(actImageHalf_, &QAction::triggered, this, [this] { displayImage(2); });
    connect(namedItem(display, "display_menu_image_rotation", "Image rotation"), &QAction::triggered, this, [this] {
        rotateHalfTurn(session_.image);
        redraw();
    });
    connect(namedItem(display, "display_menu_adjust", "Contrast adjust"), &QAction::triggered, this, [this] {
        reopen(histogramWindow_,
               [this] { return new HistogramWindow(session_, platform_, [this] { showLevels(); }, this); });
    });
    actDusky_ = namedItem(display, "display_menu_dusky_picture", "Dusky picture", true);
    connect(actDusky_, &QAction::toggled, this, [this](bool on) { session_.state.duskyPicture = on; });

    for (Panel* p : panels_) p->buildMenus(bar);

    QMenu* utility = utilityMenu_ = namedMenu(bar, "utility_menu", "Utility");
    for (Panel* p : panels_) p->buildUtilityItems(utility);
    actBeep_ = namedItem(utility, "utility_menu_beep", "Beep On", true);
    connect(actBeep_, &QAction::toggled, this, [this](bool on) {
        session_.state.beepOn = on;
        session_.settings.beepOn = on ? 1 : 0;
    });

    QAction* version = bar->addAction("Ver");
    version->setObjectName("version_menu");
    connect(version, &QAction::triggered, this,
            [this] { platform_.message("Lumavist Version " LUMAVIST_VERSION_TEXT "\r\nFeb/2018", "Astronomical Photometry"); });
}

void MainWindow::buildControls()
{
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);

    auto* contrast = new QGroupBox;
    auto* grid = new QGridLayout(contrast);
    grid->addWidget(namedLabel("Label1", "Contrast"), 0, 0, 1, 4);
    grid->addWidget(namedLabel("Label2", "Range"), 1, 0);
    rangeBox_ = namedLineEdit("Text1");
    grid->addWidget(rangeBox_, 1, 1);
    QPushButton* rangeUp = namedButton("Command1", "+");
    QPushButton* rangeDown = namedButton("Command2", "-");
    grid->addWidget(rangeUp, 1, 2);
    grid->addWidget(rangeDown, 1, 3);
    grid->addWidget(namedLabel("Label3", "Background"), 2, 0);
    backgroundBox_ = namedLineEdit("Text2");
    grid->addWidget(backgroundBox_, 2, 1);
    QPushButton* backgroundUp = namedButton("Command3", "+");
    QPushButton* backgroundDown = namedButton("Command4", "-");
    grid->addWidget(backgroundUp, 2, 2);
    grid->addWidget(backgroundDown, 2, 3);
    QPushButton* autoButton = namedButton("Command5", "Auto");
    grid->addWidget(autoButton, 3, 1);
    column->addWidget(contrast);

    auto* cursor = new QGroupBox;
    auto* row = new QGridLayout(cursor);
    row->addWidget(namedLabel("Label9", "Cursor"), 0, 0);
    cursorX_ = namedLineEdit("Text12", {}, nullptr, true);
    cursorY_ = namedLineEdit("Text13", {}, nullptr, true);
    cursorValue_ = namedLineEdit("Text14", {}, nullptr, true);
    row->addWidget(cursorX_, 0, 1);
    row->addWidget(cursorY_, 0, 2);
    row->addWidget(cursorValue_, 0, 3);
    column->addWidget(cursor);

    statistics_ = namedLabel("Label4", fromLocal(session_.state.statistics));
    column->addWidget(statistics_);
    for (Panel* p : panels_)
        if (QWidget* fields = p->buildControls()) column->addWidget(fields);
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
    // The current folder is, at first, the folder the application started from.
    if (!setCurrentFolder(session_, toLocal(QDir::toNativeSeparators(QDir::currentPath()))))
        s.currentFolder = s.startFolder;
    readSettings(s.settingsPath, session_.settings);
    const AppSettings& settings = session_.settings;

    actBeep_->setChecked(settings.beepOn == 1);
    s.beepOn = settings.beepOn == 1;
    if (settings.window(SettingsWindow::Main).known) {
        placeWindow(this, settings.window(SettingsWindow::Main));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // First start: the top left of the screen, leaving room on the right
        // for the image window.
        const QRect area = screen->availableGeometry();
        setGeometry(QRect(area.topLeft() + QPoint(20, 40), size()));
    }

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
    for (Panel* p : panels_) p->startUp();

    // Windows that have no saved position yet (the first start) open beside
    // the main window, one a little below the other, inside the screen, so
    // that none covers the main window's controls. The settings file written
    // at exit then holds a position for each.
    const QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                        : QRect(0, 0, 1920, 1080);
    const QRect mainArea(geometry().topLeft(), sizeHint().expandedTo(size()));
    int k = 0;
    for (std::size_t i = 1; i < session_.settings.windows.size(); ++i) {
        WindowPosition& w = session_.settings.windows[i];
        if (w.known) continue;
        int x = mainArea.right() + 24 + 24 * k;
        int y = mainArea.top() + 24 * k;
        // Where there is no room on the right, the left of the main window.
        if (x + 200 > area.right()) x = std::max(area.left(), mainArea.left() - 420 - 24 * k);
        y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - 200));
        w = {static_cast<double>(x) * kTwipsPerPixel, static_cast<double>(y) * kTwipsPerPixel, true};
        ++k;
    }

    // The main window is on the screen before the command-line file's messages.
    if (!commandLinePath.empty()) {
        show();
        openDroppedFile(commandLinePath);
    }
}

// ---- display ------------------------------------------------------------------

void MainWindow::displayImage(int scale)
{
    session_.state.displayScale = scale;
    actImage_->setChecked(scale == 1);
    actImageHalf_->setChecked(scale == 2);
    redraw();
}

void MainWindow::showImageWithLine() { redraw(true); }

void MainWindow::redraw(bool keepLine)
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    // The display commands switch the spectrum tools' line off; the tools
    // themselves reopen the image window with it.
    if (!keepLine) session_.state.lineDisplay = false;
    for (Panel* p : panels_) p->pictureRedrawn();
    // A redraw opens a new image window; it reuses the old picture's memory.
    RgbPicture storage;
    if (imageWindow_) storage = imageWindow_->view()->takePicture();
    reopen(imageWindow_, [&] {
        auto* window = new ImageWindow(session_, platform_, this);
        connect(window, &ImageWindow::cursorMoved, this, &MainWindow::onCursorMoved);
        connect(window, &ImageWindow::clicked, this, &MainWindow::onImageClicked);
        connect(window, &ImageWindow::closing, this, [this] {
            if (zoomWindow_) zoomWindow_->close();
        });
        window->draw(std::move(storage));
        return window;
    });
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
    for (Panel* p : panels_)
        if (p->imageClicked(px, py, button, modifiers, globalPos)) return;
    if (session_.state.lineDisplay) return;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (button == Qt::RightButton && shift) {
        platform_.clearClipboard();
        if (imageWindow_) platform_.setClipboardPicture(imageWindow_->picture());
    } else if (button == Qt::LeftButton && !shift && !zoomWindow_) {
        openZoomWindow();  // around the click, which the cursor fields now hold
    }
}

void MainWindow::openZoomWindow()
{
    reopen(zoomWindow_, [this] { return new ZoomWindow(session_, this); });
    // It shows the frame at once: around the last cursor position, or the
    // middle of the frame before the mouse has been over it.
    const FitsImage& image = session_.image;
    if (!image.loaded()) return;
    const bool known = !cursorX_->text().isEmpty() && !cursorY_->text().isEmpty();
    const int px = known ? toInt32Saturated(leadingNumber(toLocal(cursorX_->text()))) : image.naxis1 / 2;
    const int py = known ? toInt32Saturated(leadingNumber(toLocal(cursorY_->text()))) : image.naxis2 / 2;
    zoomWindow_->showAround(px, py);
}

void MainWindow::closeZoomWindow()
{
    if (zoomWindow_) zoomWindow_->close();
}

void MainWindow::closePicture()
{
    if (imageWindow_) imageWindow_->close();
    closeZoomWindow();
}

FolderWindow* MainWindow::openFolderWindow(FileDialogMode mode, const QString& caption,
                                           FolderAccept accept)
{
    return reopen(folderWindow_,
                  [&] { return new FolderWindow(session_, platform_, mode, caption, std::move(accept), this); });
}

void MainWindow::setFileAndUtilityEnabled(bool enabled)
{
    fileMenu_->menuAction()->setEnabled(enabled);
    utilityMenu_->menuAction()->setEnabled(enabled);
}

void MainWindow::sessionChanged()
{
    for (Panel* p : panels_) p->refresh();
}

bool MainWindow::runGuarded(const std::function<void()>& job)
{
    // A second start of a job while one runs (a click that got through) is refused.
    if (jobRunning_) return false;
    jobRunning_ = true;
    sessionChanged();  // "UnDo" shows as unavailable while the job runs
    // Everything but the progress window (closing it stops the job) and the
    // per-frame window is greyed out while the job runs; what was greyed out
    // already stays so afterwards.
    std::vector<QPointer<QWidget>> disabled;
    auto disable = [&](QWidget* w) {
        if (!w || !w->isEnabled()) return;
        w->setEnabled(false);
        disabled.emplace_back(w);
    };
    disable(menuBar());
    disable(centralWidget());
    for (QWidget* window : findChildren<QWidget*>()) {
        if (!window->isWindow() || !window->isVisible()) continue;
        if (window->objectName() == "Form8" || window->objectName() == "Form9") continue;
        for (QWidget* c : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!c->isWindow()) disable(c);
    }
    // (The job shows the busy pointer itself, after any question it asks.)
    job();
    for (const QPointer<QWidget>& w : disabled)
        if (w) w->setEnabled(true);
    jobRunning_ = false;
    sessionChanged();
    return true;
}

void MainWindow::closeImageWindows()
{
    for (QWidget* w : std::initializer_list<QWidget*>{fileDialog_, headerWindow_, imageWindow_, zoomWindow_})
        if (w) w->close();
}

// ---- files --------------------------------------------------------------------

void MainWindow::openDroppedFile(const std::string& path)
{
    const OpenResult r = openImage(session_, {path, OpenWay::Dropped}, platform_);
    showStatistics();
    sessionChanged();
    if (!r.opened) return;
    showLevels();
    displayImage(1);
}

void MainWindow::openFromFileDialog(const std::string& path)
{
    openImage(session_, {path, OpenWay::Dialog}, platform_);
    sessionChanged();
    closeImageWindows();
    showLevels();
    showStatistics();
}

void MainWindow::openFileDialog(FileDialogMode mode, const QString& caption, FileAccept accept)
{
    reopen(fileDialog_, [&] { return new FileDialog(session_, mode, caption, std::move(accept), this); });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const auto urls = event->mimeData()->urls();
    // While a job runs, or an automatic run measures the frame in view, no
    // other frame takes its place.
    if (urls.isEmpty() || jobRunning_) return;
    if (!fileMenu_->menuAction()->isEnabled()) {
        event->ignore();
        platform_.message("A dropped file is not opened during automatic photometry; press \"End of Auto\" first");
        return;
    }
    event->acceptProposedAction();
    openDroppedFile(toLocal(QDir::toNativeSeparators(urls.first().toLocalFile())));
}

void MainWindow::openPictureExport()
{
    if (!session_.image.loaded()) {
        platform_.message(kNoImageMessage);
        return;
    }
    displayImage(1);
    reopen(exportWindow_, [this] {
        return new PictureExportWindow(session_, platform_, imageWindow_ ? imageWindow_->picture() : RgbPicture{}, this);
    });
}

// ---- start, stop, minimise -------------------------------------------------------

void MainWindow::recordWindowPositions()
{
    session_.settings.window(SettingsWindow::Main) = windowPosition(this);
    auto record = [this](QWidget* w, SettingsWindow slot) {
        if (w) session_.settings.window(slot) = windowPosition(w);
    };
    record(fileDialog_, SettingsWindow::FileDialog);
    record(folderWindow_, SettingsWindow::Folder);
    record(headerWindow_, SettingsWindow::Header);
    record(imageWindow_, SettingsWindow::Image);
    record(zoomWindow_, SettingsWindow::Zoom);
    for (Panel* p : panels_) p->recordWindowPositions();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Not in the middle of a job: the file being written would be left half done.
    if (jobRunning_) {
        event->ignore();
        return;
    }
    recordWindowPositions();
    std::string error;
    if (!session_.state.settingsPath.empty() && !writeSettings(session_.state.settingsPath, session_.settings, error))
        platform_.error(error);
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
