#include "ui/photometry/sky_area_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "core/conventions.h"
#include "photometry/positions.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

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

    auto number = [](auto v) { return fromLocal(numberText(v)); };
    QLabel* sizeLabel = namedLabel("Label1", "Aperture", this);
    sizeBox_ = namedLineEdit("Text1", number(settings_.apertureSize), this);
    QLabel* heading = namedLabel("Label2", "Sky Area", this);
    QLabel* insideLabel = namedLabel("Label3", "inside", this);
    insideBox_ = namedLineEdit("Text2", number(settings_.skyInner), this);
    QLabel* outsideLabel = namedLabel("Label4", "outside", this);
    outsideBox_ = namedLineEdit("Text3", number(settings_.skyOuter), this);
    QPushButton* ok = namedButton("Command1", "OK", this);
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* standardButton = namedButton("Command3", "Standard", this);

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
