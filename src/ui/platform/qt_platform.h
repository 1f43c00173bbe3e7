// The platform interface on Qt: message boxes, questions, the clipboard, the
// beep and the busy pointer of the desktop application.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

#include "core/platform.h"

class QDialog;
class QFontMetrics;

namespace lv {

enum class BoxKind { Message, Error, Question };

// The box a message, an error or an OK/Cancel question is shown in, not yet
// shown: exec() shows it and returns QDialog::Accepted for OK. Its text shows
// whole: the box is as wide as the text up to the screen, then lines wrap.
std::unique_ptr<QDialog> messageBox(QWidget* parent, BoxKind kind, std::string_view title, std::string_view text);

// `text` with line breaks where a line would be wider than `width`: after a
// blank (which the break replaces) or a path separator, otherwise anywhere.
QString wrapToWidth(const QString& text, const QFontMetrics& metrics, int width);

class QtPlatform : public Platform {
public:
    // Message boxes are centred on `parent` when it is set.
    void setParentWindow(QWidget* parent) { parent_ = parent; }

    void message(std::string_view text, std::string_view title = {}) override;
    void error(std::string_view text, std::string_view title = {}) override;
    bool askOkCancel(std::string_view text, std::string_view title = {}) override;
    void clearClipboard() override;
    void setClipboardText(std::string_view text) override;
    void setClipboardPicture(const RgbPicture& picture) override;
    void beep() override;
    void setBusy(bool busy) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace lv
