#include "ui/lightcurve/light_curve_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "app/current_folder.h"
#include "core/conventions.h"
#include "lightcurve/aavso.h"
#include "lightcurve/minimum.h"
#include "lightcurve/night_rows.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {

// The report's fixed-pitch font where it exists, the system's otherwise.
QFont fixedFont()
{
    const QString japanese = QString::fromUtf8("ＭＳ ゴシック");
    if (QFontDatabase::families().contains(japanese)) return QFont(japanese);
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QString numberField(double v) { return fromLocal(plainNumberText(v)); }

}  // namespace

GraphView::GraphView(const char* name, QWidget* parent) : QWidget(parent)
{
    setObjectName(name);
    // The graphs grow with the window; the drawing follows the picture's size.
    setMinimumSize(kGraphWidth / 2, kGraphHeight * 3 / 5);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize GraphView::sizeHint() const { return {kGraphWidth, kGraphHeight}; }

void GraphView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit resized();
}

void GraphView::setPicture(const RgbPicture& picture)
{
    picture_ = picture;
    update();
}

void GraphView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawImage(0, 0, toQImage(picture_));
}

void GraphView::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit pressed(pos.x(), pos.y(), event->button(), event->modifiers());
}

void GraphView::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

LightCurveWindow::LightCurveWindow(Session& session, Platform& platform, LightCurveTable table,
                                   std::function<void(const std::string&)> openFrame, std::function<void()> closed,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      platform_(platform),
      table_(std::move(table)),
      openFrame_(std::move(openFrame)),
      closed_(std::move(closed))
{
    setObjectName("Form17");
    setWindowTitle("Light Curve (" + fromLocal(table_.path) + ")");
    setAttribute(Qt::WA_DeleteOnClose);

    ck_ = new GraphView("Picture1", this);
    vc_ = new GraphView("Picture2", this);
    list_ = new QListWidget(this);
    list_->setObjectName("List1");
    const QFont fixed = fixedFont();
    list_->setFont(fixed);
    // With an ensemble, each comparison star's scatter against the others.
    scatterList_ = new QListWidget(this);
    scatterList_->setObjectName("List2");
    scatterList_->setFont(fixed);
    scatterList_->setToolTip("Each comparison star against the mean flux of the others: a variable or badly "
                             "placed star stands out");
    night_ = readNightRows(nightTablePath(table_.path));
    const AppSettings& s = session_.settings;
    // An empty stored field stays empty: the example only shows in grey, so
    // that it never reaches a report unnoticed.
    auto persisted = [this](const char* name, const std::string& stored, const char* example) {
        QLineEdit* e = namedLineEdit(name, fromLocal(stored), this);
        e->setPlaceholderText(example);
        return e;
    };
    compMag_ = persisted("Text1", s.comparisonMagnitude, "10.000");
    star_ = persisted("Text2", s.starName, "CASRZ");
    code_ = persisted("Text3", s.observerCode, "");
    colour_ = persisted("Text4", s.comparisonColour, "");
    comment_ = namedLineEdit("Text5", fromLocal(table_.comment), this);
    place_ = persisted("Text6", s.observerPlace, "");
    instruments_ = persisted("Text7", s.instruments, "");
    compName_ = persisted("Text8", s.comparisonName, "");
    checkName_ = persisted("Text9", s.checkName, "");
    // The hours the data's times are ahead of UT: what was typed last, or
    // what the time-zone setting adds to the header's times.
    utOffset_ = namedLineEdit("Text10",
                              fromLocal(s.aavsoUtOffset.empty() ? plainNumberText(s.timeZoneHours) : s.aavsoUtOffset),
                              this);
    for (QLineEdit* e : {compMag_, star_, code_}) e->setFont(fixed);
    // Wide enough for a magnitude, a colour band and a star name.
    const QFontMetrics fm(fixed);
    compMag_->setMinimumWidth(fm.horizontalAdvance("000.000") + 16);
    colour_->setMinimumWidth(fm.horizontalAdvance("Rc") + 16);
    errorLabel_ = namedLabel("Label7", "Photometry error  =", this);
    QPushButton* saveData = namedButton("Command1", "Save to 'mag_est.txt'", this);
    QPushButton* saveReportButton = namedButton("Command3", "Save to 'std.file'", this);
    QPushButton* saveAavsoButton = namedButton("Command4", "Save to AAVSO", this);
    QPushButton* minimumButton = namedButton("Command5", "Time of minimum", this);
    minimumButton->setToolTip("The eclipse's time of minimum from the V-C points of the visible time axis, or "
                              "between two points picked with Shift-click on the V-C graph");
    minimumLabel_ = namedLabel("Label8", {}, this);
    minimumLabel_->setWordWrap(true);
    minimumLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* fields = new QGridLayout;
    int row = 0;
    auto add = [&](const char* label, QWidget* a, QWidget* b = nullptr) {
        fields->addWidget(new QLabel(label, this), row, 0);
        fields->addWidget(a, row, 1, 1, b ? 1 : 2);
        if (b) fields->addWidget(b, row, 2);
        ++row;
    };
    add("comp mag. and color", compMag_, colour_);
    add("star", star_);
    add("obs.code", code_);
    add("Comment", comment_);
    add("Observer and Place", place_);
    add("instruments", instruments_);
    add("AAVSO comp. / check", compName_, checkName_);
    hjdBox_ = new QCheckBox("dated by HJD", this);
    hjdBox_->setObjectName("Check1");
    hjdBox_->setToolTip("The AAVSO file's dates from photometry.csv: HJD instead of JD");
    add("AAVSO: data time - UT (h)", utOffset_, hjdBox_);
    epoch_ = namedLineEdit("Text11", {}, this);
    epoch_->setPlaceholderText("epoch");
    period_ = namedLineEdit("Text12", {}, this);
    period_->setPlaceholderText("period (d)");
    // A whole BJD with its decimals shows without scrolling.
    epoch_->setMinimumWidth(fm.horizontalAdvance("2458165.00000") + 16);
    add("Ephemeris: epoch / period", epoch_, period_);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(errorLabel_);
    buttons->addStretch();
    buttons->addWidget(saveData);
    buttons->addWidget(saveReportButton);
    buttons->addWidget(saveAavsoButton);
    buttons->addWidget(minimumButton);
    auto* graphs = new QVBoxLayout;
    graphs->addWidget(ck_, 1);
    graphs->addWidget(vc_, 1);
    auto* side = new QVBoxLayout;
    list_->setMinimumHeight(list_->fontMetrics().lineSpacing() * 5);
    side->addWidget(list_, 1);
    side->addWidget(scatterList_);
    side->addLayout(fields);
    auto* top = new QHBoxLayout;
    top->addLayout(graphs, 2);
    top->addLayout(side, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    layout->addWidget(minimumLabel_);

    for (QLineEdit* e : {compMag_, star_, code_, colour_, place_, instruments_, compName_, checkName_})
        connect(e, &QLineEdit::textChanged, this, &LightCurveWindow::storeFields);
    connect(utOffset_, &QLineEdit::textEdited, this,
            [this](const QString& t) { session_.settings.aavsoUtOffset = toLocal(t); });
    connect(comment_, &QLineEdit::textChanged, this, [this](const QString& t) { table_.comment = toLocal(t); });
    connect(ck_, &GraphView::resized, this, &LightCurveWindow::draw);
    connect(vc_, &GraphView::resized, this, &LightCurveWindow::draw);
    connect(vc_, &GraphView::pressed, this, &LightCurveWindow::pressOnCurve);
    connect(ck_, &GraphView::doubleClicked, this, &LightCurveWindow::openAxisDialog);
    connect(vc_, &GraphView::doubleClicked, this, &LightCurveWindow::openAxisDialog);
    connect(list_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { toggleListRow(list_->row(item)); });
    connect(saveData, &QPushButton::clicked, this, &LightCurveWindow::saveMagEstFile);
    connect(saveReportButton, &QPushButton::clicked, this, &LightCurveWindow::saveReport);
    connect(saveAavsoButton, &QPushButton::clicked, this, &LightCurveWindow::saveAavso);
    connect(minimumButton, &QPushButton::clicked, this, &LightCurveWindow::timeMinimum);

    axes_ = automaticAxes(table_);
    fillList();
    // At first no wider than 60 % of the screen, so that a frame opened from
    // a point has room beside it; the graphs grow when the user widens it.
    QSize first = sizeHint();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        first = first.boundedTo(QSize(area.width() * 3 / 5, area.height() * 17 / 20));
    }
    resize(first.expandedTo(minimumSizeHint()));
    draw();
    placeWindow(this, session_.settings.window(SettingsWindow::LightCurve));
}

void LightCurveWindow::fillList()
{
    list_->clear();
    for (const std::string& item : listTexts(table_)) list_->addItem(fromLocal(item));
    scatterList_->clear();
    const std::vector<ComparisonScatter> scatter =
        night_ ? comparisonScatter(table_, *night_) : std::vector<ComparisonScatter>{};
    for (const ComparisonScatter& c : scatter) scatterList_->addItem(fromLocal(comparisonScatterText(c)));
    scatterList_->setVisible(!scatter.empty());
    // Tall enough for every star without a scroll bar, up to the ten.
    scatterList_->setFixedHeight(scatterList_->fontMetrics().lineSpacing() * static_cast<int>(scatter.size()) +
                                 2 * scatterList_->frameWidth() + 4);
}

void LightCurveWindow::storeFields()
{
    AppSettings& s = session_.settings;
    s.comparisonMagnitude = toLocal(compMag_->text());
    s.starName = toLocal(star_->text());
    s.observerCode = toLocal(code_->text());
    s.comparisonColour = toLocal(colour_->text());
    s.observerPlace = toLocal(place_->text());
    s.instruments = toLocal(instruments_->text());
    s.comparisonName = toLocal(compName_->text());
    s.checkName = toLocal(checkName_->text());
}

void LightCurveWindow::setReportTexts(const std::string& star, const std::string& compMag, const std::string& colour,
                                      const std::string& code)
{
    star_->setText(fromLocal(star));
    compMag_->setText(fromLocal(compMag));
    colour_->setText(fromLocal(colour));
    code_->setText(fromLocal(code));
}

void LightCurveWindow::draw()
{
    // Each graph is drawn at the size of its picture.
    const GraphDrawing ck = drawGraph(table_, axes_, Graph::CK, ck_->width(), ck_->height());
    const GraphDrawing vc = drawGraph(table_, axes_, Graph::VC, vc_->width(), vc_->height());
    error_ = photometryError(table_);
    errorLabel_->setText(fromLocal(photometryErrorText(error_)));
    vcPositions_ = pointPositions(vc, table_.count());
    ck_->setPicture(renderGraph(ck));
    vc_->setPicture(renderGraph(vc));
}

void LightCurveWindow::pressOnCurve(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    const int i = pointAt(vcPositions_, x, y);
    if (i < 0) return;
    const std::string& line = table_.lines[static_cast<std::size_t>(i)];
    if (button == Qt::LeftButton && (modifiers & Qt::ShiftModifier)) {
        if (minimumRange_.size() == 2) minimumRange_.clear();
        minimumRange_.push_back(table_.time[static_cast<std::size_t>(i)]);
        const std::string number = line.substr(1, 4);
        if (minimumRange_.size() == 1) {
            minimumLabel_->setText(fromLocal("Range for the time of minimum: from point " + number +
                                             "; Shift-click the point at its other end"));
        } else {
            minimumLabel_->setText(fromLocal("Range for the time of minimum: to point " + number +
                                             "; press \"Time of minimum\" (a Shift-click starts a new range)"));
        }
        return;
    }
    if (button == Qt::LeftButton) {
        setDeleted(table_, i, true);
        fillList();
        draw();
        platform_.message("delete no = " + line.substr(1, 4));
        return;
    }
    // The frame's path follows the 8th space of the numbered line.
    int spaces = 0;
    for (std::size_t k = 1; k < line.size(); ++k)
        if (line[k] == ' ' && ++spaces == 8) {
            frameOpened_ = true;
            if (openFrame_) openFrame_(line.substr(k + 1));
            return;
        }
}

void LightCurveWindow::toggleListRow(int row)
{
    if (row < 0 || row >= list_->count()) return;
    toggleMark(table_, lineOfListItem(table_, toLocal(list_->item(row)->text())));
    fillList();
    draw();
}

void LightCurveWindow::openAxisDialog()
{
    // New axes end a range picked for the time of minimum.
    reopen(axisDialog_, [this] {
        return new AxisDialog(
            axes_,
            [this] {
                minimumRange_.clear();
                draw();
            },
            this);
    });
}

ReportFields LightCurveWindow::reportFields() const
{
    ReportFields f;
    f.star = toLocal(star_->text());
    f.code = toLocal(code_->text());
    f.compMag = leadingNumber(toLocal(compMag_->text()));
    f.colour = toLocal(colour_->text());
    f.observerPlace = toLocal(place_->text());
    f.instruments = toLocal(instruments_->text());
    return f;
}

void LightCurveWindow::saveMagEstFile() { saveMagEst(table_, platform_); }

void LightCurveWindow::saveReport()
{
    // The report goes to the current folder.
    writeReport(table_, reportFields(), error_, session_.state.currentFolder, platform_);
}

void LightCurveWindow::saveAavso()
{
    AavsoSettings a;
    a.report = reportFields();
    a.comparisonName = toLocal(compName_->text());
    a.checkName = toLocal(checkName_->text());
    a.utOffsetHours = leadingNumber(toLocal(utOffset_->text()));
    a.heliocentric = hjdBox_->isChecked();
    // Beside the report files, in the current folder.
    writeAavso(table_, a, error_, inCurrentFolder(session_, "aavso.txt"), platform_);
}

void LightCurveWindow::timeMinimum()
{
    // Between the two points picked, else over the visible time axis.
    const AxisRanges& r = axes_.ranges;
    const bool picked = minimumRange_.size() == 2;
    const double from = picked ? std::min(minimumRange_[0], minimumRange_[1]) : r.hourStart;
    const double to = picked ? std::max(minimumRange_[0], minimumRange_[1]) : r.hourEnd;
    const TimedPoints points = pointsOfVisibleLines(table_, night_, from, to);
    const bool ephemeris = !epoch_->text().trimmed().isEmpty() && !period_->text().trimmed().isEmpty();
    const double epoch = leadingNumber(toLocal(epoch_->text()));
    const double period = leadingNumber(toLocal(period_->text()));
    if (ephemeris && !(period > 0)) {
        platform_.message("The period of the ephemeris is a number of days above 0");
        return;
    }
    QStringList shown;
    for (const MinimumMethod method : {MinimumMethod::KweeVanWoerden, MinimumMethod::SymmetricPolynomial}) {
        const MinimumResult m = timeOfMinimum(points, method);
        if (!m.minimum) {
            shown << fromLocal(std::string(methodName(method)) + ": " + m.why);
            continue;
        }
        MinimumRecord record;
        record.star = toLocal(star_->text());
        record.minimum = *m.minimum;
        record.scale = points.scale;
        record.from = *std::min_element(points.time.begin(), points.time.end());
        record.to = *std::max_element(points.time.begin(), points.time.end());
        if (ephemeris) record.oc = observedMinusCalculated(m.minimum->time, epoch, period);
        std::string error;
        const std::string path = joinPath(std::filesystem::path(table_.path).parent_path().string(), kMinimaName);
        if (!appendMinimum(path, record, error)) {
            platform_.error(error);
            return;
        }
        shown << fromLocal(std::string(methodName(method)) + " " + fixedText(m.minimum->time, 6) + " \u00B1 " +
                           fixedText(m.minimum->sigma, 6) + " " + points.scale + " (" +
                           plainNumberText(m.minimum->points) + " points)" +
                           (record.oc ? ", O - C " + fixedText(*record.oc, 6) : std::string()));
    }
    minimumLabel_->setText(shown.join("\n") + "\n" + QString::fromUtf8("kept in ") + kMinimaName);
}

void LightCurveWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::LightCurve) = windowPosition(this);
    if (axisDialog_) axisDialog_->close();
    if (frameOpened_ && closed_) closed_();
    event->accept();
}

AxisDialog::AxisDialog(LightCurveAxes& axes, std::function<void()> changed, QWidget* parent)
    : QWidget(parent, Qt::Window), axes_(axes), changed_(std::move(changed))
{
    setObjectName("Form18");
    setWindowTitle("Light Curve X-Y Axis");
    setAttribute(Qt::WA_DeleteOnClose);
    const AxisFields f = lv::openAxisDialog(axes_);
    const double values[] = {f.hourStart, f.hourEnd, f.ckStart, f.ckEnd, f.vcStart, f.vcEnd, f.ckStep, f.vcStep};
    for (int i = 0; i < 8; ++i)
        fields_[static_cast<std::size_t>(i)] =
            namedLineEdit(qPrintable(QStringLiteral("Text%1").arg(i + 1)), numberField(values[i]), this);
    auto* grid = new QGridLayout;
    const char* rows[] = {"Hour Axis", "C-K Axis", "V-C Axis"};
    grid->addWidget(new QLabel("start", this), 0, 1);
    grid->addWidget(new QLabel("end", this), 0, 2);
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(rows[r], this), r + 1, 0);
        grid->addWidget(fields_[static_cast<std::size_t>(2 * r)], r + 1, 1);
        grid->addWidget(fields_[static_cast<std::size_t>(2 * r + 1)], r + 1, 2);
    }
    grid->addWidget(new QLabel("step", this), 4, 0);
    grid->addWidget(fields_[6], 4, 1);
    grid->addWidget(fields_[7], 4, 2);
    auto* buttons = new QHBoxLayout;
    QPushButton* ok = namedButton("Command1", "OK", this);
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* autoButton = namedButton("Command3", "Auto scale", this);
    for (QPushButton* b : {ok, cancel, autoButton}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &AxisDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(autoButton, &QPushButton::clicked, this, &AxisDialog::autoScaleAxes);
}

void AxisDialog::accept()
{
    auto v = [this](int i) { return leadingNumber(toLocal(fields_[static_cast<std::size_t>(i)]->text())); };
    acceptAxisDialog(axes_, {v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7)});
    if (changed_) changed_();
    close();
}

void AxisDialog::autoScaleAxes()
{
    autoScale(axes_);
    if (changed_) changed_();
    close();
}

}  // namespace lv
