#include "photometry/sky_area_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "core/conventions.h"
#include "photometry/positions.h"
#include "ui/main_window.h"
#include "ui/platform/qt_support.h"

namespace lv {

SkyAreaWindow::SkyAreaWindow(MainWindow& main, QWidget* parent)
    : SkyAreaWindow(main.session(), main.platform(), [&main] { main.turnMarkersOff(); },
                    [&main] { main.showPhotometryFields(); }, parent)
{
}

SkyAreaWindow::SkyAreaWindow(Session& session, Platform& platform, std::function<void()> markersOff,
                             std::function<void()> fieldsChanged, QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(session.photometry.settings),
      platform_(platform),
      fieldsChanged_(std::move(fieldsChanged)),
      size_(session.photometry.settings.apertureSize),
      inside_(session.photometry.settings.skyInner)
{
    setObjectName("Form11");
    setWindowTitle(fromLocal(skyAreaCaption(settings_)));
    setAttribute(Qt::WA_DeleteOnClose);

    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    auto box = [this](const char* name, double v) {
        auto* b = new QLineEdit(fromLocal(numberText(v)), this);
        b->setObjectName(name);
        return b;
    };
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    QLabel* sizeLabel = label("Label1", "Aperture");
    sizeBox_ = new QLineEdit(fromLocal(numberText(settings_.apertureSize)), this);
    sizeBox_->setObjectName("Text1");
    QLabel* heading = label("Label2", "Sky Area");
    QLabel* insideLabel = label("Label3", "inside");
    insideBox_ = box("Text2", settings_.skyInner);
    QLabel* outsideLabel = label("Label4", "outside");
    outsideBox_ = box("Text3", settings_.skyOuter);
    QPushButton* ok = button("Command1", "OK");
    QPushButton* cancel = button("Command2", "Cancel");
    QPushButton* standardButton = button("Command3", "Standard");

    // With aperture sky the sky is measured at its own positions, so the
    // ring has no meaning.
    const bool ring = settings_.skyMode == SkyMode::Median;
    insideBox_->setEnabled(ring);
    outsideBox_->setEnabled(ring);

    auto* grid = new QGridLayout;
    grid->addWidget(sizeLabel, 0, 0);
    grid->addWidget(sizeBox_, 0, 1);
    grid->addWidget(heading, 1, 0, 1, 2);
    grid->addWidget(insideLabel, 2, 0);
    grid->addWidget(insideBox_, 2, 1);
    grid->addWidget(outsideLabel, 3, 0);
    grid->addWidget(outsideBox_, 3, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {standardButton, ok, cancel}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Connected after the fields are filled, so size and inside start as the
    // stored values rather than their text round trip.
    // Only the whole part of a typed size counts ("4.7" is 4); a huge typed
    // value is held at the int range instead of overflowing.
    connect(sizeBox_, &QLineEdit::textChanged, this,
            [this](const QString& text) { size_ = toInt32Saturated(intFloor(leadingNumber(toLocal(text)))); });
    connect(insideBox_, &QLineEdit::textChanged, this,
            [this](const QString& text) { inside_ = leadingNumber(toLocal(text)); });
    connect(ok, &QPushButton::clicked, this, &SkyAreaWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(standardButton, &QPushButton::clicked, this, &SkyAreaWindow::standard);

    // The markers would be left behind with the old sizes.
    if (markersOff) markersOff();
    if (skyAreaTooSmall(settings_)) platform_.message(kSkyAreaTooSmall);
}

void SkyAreaWindow::accept()
{
    switch (applySkyArea(settings_, size_, inside_, leadingNumber(toLocal(outsideBox_->text())))) {
    case SkyAreaCheck::SizeError: platform_.message(kApertureSizeError); return;
    case SkyAreaCheck::ApertureTooLarge: platform_.message(kApertureTooLarge); return;
    case SkyAreaCheck::Stored: break;
    }
    if (fieldsChanged_) fieldsChanged_();
    close();
}

void SkyAreaWindow::standard()
{
    const auto [in, out] = standardSkyArea(settings_.apertureShape, size_);
    insideBox_->setText(fromLocal(numberText(in)));
    outsideBox_->setText(fromLocal(numberText(out)));
    inside_ = in;
}

}  // namespace lv
