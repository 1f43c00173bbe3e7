// The platform interface on Qt: message boxes, questions, the clipboard, the
// beep and the busy pointer of the desktop application.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/platform.h"

namespace lv {

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
