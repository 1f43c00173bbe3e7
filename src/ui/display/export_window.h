// The picture export window (Form19, "Image save to BMP & JPEG"): writes the
// image window's picture as a BMP file and, when asked, a JPEG beside it.
#pragma once

#include <QWidget>

#include "core/picture.h"
#include "core/platform.h"
#include "app/session.h"

class QCheckBox;
class QLineEdit;

namespace lv {

class PictureExportWindow : public QWidget {
    Q_OBJECT
public:
    PictureExportWindow(Session& session, Platform& platform, RgbPicture picture, QWidget* parent = nullptr);

    int jpegQuality() const { return jpegQuality_; }

private:
    void qualityTyped(const QString& text);
    void save();

    Platform& platform_;
    RgbPicture picture_;
    QLineEdit* nameBox_;     // Text1
    QCheckBox* jpegCheck_;   // Check1
    QLineEdit* qualityBox_;  // Text2
    int jpegQuality_ = 50;
};

}  // namespace lv
