// The header window (Form3): the header records of the current image, one
// per line, titled with the file path.
#pragma once

#include <QWidget>

#include "app/session.h"

class QPlainTextEdit;

namespace lv {

class HeaderWindow : public QWidget {
    Q_OBJECT
public:
    HeaderWindow(Session& session, QWidget* parent = nullptr);

    // Text1 is this much narrower and lower than the window (100 and 400 twips).
    static constexpr int kWidthMargin = 7;
    static constexpr int kHeightMargin = 27;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void fitText();

    Session& session_;
    QPlainTextEdit* text_;  // Text1
};

}  // namespace lv
