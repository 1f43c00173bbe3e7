#include "ui/display/export_window.h"

#include <QBuffer>
#include <QByteArray>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "display/picture_names.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

PictureExportWindow::PictureExportWindow(Session& session, Platform& platform, RgbPicture picture, QWidget* parent)
    : QWidget(parent, Qt::Window), platform_(platform), picture_(std::move(picture))
{
    setObjectName("Form19");
    setWindowTitle("Image save to BMP & JPEG");
    setAttribute(Qt::WA_DeleteOnClose);

    QLabel* nameLabel = namedLabel("Label1", "File Name", this);
    nameBox_ = namedLineEdit("Text1", fromLocal(defaultPictureName(session.image.fileName)), this);
    nameBox_->setMinimumWidth(320);
    jpegCheck_ = new QCheckBox("Addition Jpeg File", this);
    jpegCheck_->setObjectName("Check1");
    QLabel* qualityLabel = namedLabel("Label2", "Compression ratio (0-100)", this);
    qualityBox_ = namedLineEdit("Text2", "50", this);
    qualityBox_->setEnabled(false);
    QPushButton* saveButton = namedButton("Command1", "Save", this);
    QPushButton* cancelButton = namedButton("Command2", "Cancel", this);

    auto* grid = new QGridLayout;
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameBox_, 0, 1);
    grid->addWidget(jpegCheck_, 1, 0, 1, 2);
    grid->addWidget(qualityLabel, 2, 0);
    grid->addWidget(qualityBox_, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(jpegCheck_, &QCheckBox::toggled, qualityBox_, &QWidget::setEnabled);
    connect(qualityBox_, &QLineEdit::textChanged, this, &PictureExportWindow::qualityTyped);
    connect(saveButton, &QPushButton::clicked, this, &PictureExportWindow::save);
    connect(cancelButton, &QPushButton::clicked, this, &QWidget::close);
}

void PictureExportWindow::qualityTyped(const QString& text)
{
    // Anything outside 0 ... 100 leaves the last good quality in force; just
    // inside the bounds (100.7, -0.7) rounding would step out, so hold it in.
    const double v = leadingNumber(toLocal(text));
    if (v > -1 && v < 101) jpegQuality_ = std::clamp(toInt32Saturated(v), 0, 100);
}

void PictureExportWindow::save()
{
    const std::string path = toLocal(nameBox_->text());
    const QImage image = toQImage(picture_);
    auto write = [&](const std::string& file, const char* format, int quality) {
        // Encoded in memory, then written like every user file: through a
        // temporary file and a rename.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        std::string error;
        if (!image.isNull() && image.save(&buffer, format, quality) &&
            replaceFileWith(file, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())), error))
            return true;
        platform_.error(file + ": the picture cannot be written");
        return false;
    };
    if (!write(path, "BMP", -1)) return;
    if (jpegCheck_->isChecked() && path.find('.') != std::string::npos) {
        if (!write(jpegNameFor(path), "JPG", jpegQuality_)) return;
    }
    close();
}

}  // namespace lv
