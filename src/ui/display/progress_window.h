// The progress window (Form8): a caption and one line of text shown while a
// long command runs, centred on the screen each time it is opened.
#pragma once

#include <QWidget>

class QLabel;

namespace lv {

class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    // Sets caption and text, shows the window (not modal) centred on the
    // primary screen and lets it paint once.
    void showCentred(const QString& caption, const QString& text);
    void setCaption(const QString& caption);
    void setText(const QString& text);

private:
    QLabel* label_;  // Label1
};

}  // namespace lv
