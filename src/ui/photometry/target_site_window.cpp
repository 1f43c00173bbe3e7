#include "ui/photometry/target_site_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "photometry/observation_times.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {

std::array<std::string*, 8> texts(AppSettings& s)
{
    return {&s.targetRa,   &s.targetDec,      &s.siteLatitude,   &s.siteLongitude,
            &s.siteHeight, &s.cameraGain, &s.cameraReadNoise, &s.cameraLinearity};
}

}  // namespace

TargetSiteWindow::TargetSiteWindow(Session& session, Platform& platform, QWidget* parent,
                                   std::function<void()> accepted)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), accepted_(std::move(accepted))
{
    setObjectName("Form25");
    setWindowTitle("Target and Site");
    setAttribute(Qt::WA_DeleteOnClose);

    const char* captions[] = {"RA (J2000, hh:mm:ss)", "Dec (J2000, +dd:mm:ss)", "Latitude (degrees)",
                              "Longitude (degrees, east)", "Height (m)", "Gain (e-/ADU)", "Read noise (e-)",
                              "Linearity limit (ADU)"};
    const char* hints[] = {"", "", "", "", "", "1", "0", "60000"};
    auto* grid = new QGridLayout;
    const auto fields = texts(session_.settings);
    for (int i = 0; i < 8; ++i) {
        const auto k = static_cast<std::size_t>(i);
        grid->addWidget(namedLabel(qPrintable(QString("Label%1").arg(i + 1)), captions[i], this), i, 0);
        boxes_[k] = namedLineEdit(qPrintable(QString("Text%1").arg(i + 1)), fromLocal(*fields[k]), this);
        boxes_[k]->setPlaceholderText(hints[i]);
        grid->addWidget(boxes_[k], i, 1);
    }
    QLabel* note = namedLabel("Label9", "The frame's header comes first where it gives these.", this);
    QPushButton* ok = namedButton("Command1", "OK", this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(note);
    bottom->addStretch();
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    connect(ok, &QPushButton::clicked, this, &TargetSiteWindow::accept);
}

void TargetSiteWindow::accept()
{
    // What is typed is checked as the photometry will read it.
    AppSettings typed = session_.settings;
    const auto fields = texts(typed);
    for (std::size_t i = 0; i < fields.size(); ++i) *fields[i] = toLocal(boxes_[i]->text().trimmed());
    if (const std::string problem = targetSiteProblem(typed); !problem.empty()) {
        platform_.message(problem, "Target and Site");
        return;
    }
    session_.settings = typed;
    session_.photometry.targetSite = targetSiteOf(typed);
    if (accepted_) accepted_();
    close();
}

}  // namespace lv
