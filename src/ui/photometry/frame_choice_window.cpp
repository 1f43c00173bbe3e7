#include "ui/photometry/frame_choice_window.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

FrameChoiceWindow::FrameChoiceWindow(Session& session, const QString& caption,
                                     std::function<void(FrameChoice)> answered, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), answered_(std::move(answered))
{
    setObjectName("Form9");
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    const std::pair<const char*, FrameChoice> buttons[] = {
        {"data save and next file read", FrameChoice::Save},
        {"data not save & next file read", FrameChoice::Skip},
        {"Cancel", FrameChoice::Cancel},
    };
    int n = 0;
    for (const auto& [text, choice] : buttons) {
        QPushButton* b = namedButton(qPrintable(QStringLiteral("Command%1").arg(++n)), text, this);
        layout->addWidget(b);
        const FrameChoice c = choice;
        connect(b, &QPushButton::clicked, this, [this, c] { answer(c); });
    }
    placeWindow(this, session_.settings.window(SettingsWindow::AutomaticConfirm));
}

void FrameChoiceWindow::answer(FrameChoice choice)
{
    choice_ = choice;
    close();
}

void FrameChoiceWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::AutomaticConfirm) = windowPosition(this);
    event->accept();
    // Called after the window is gone from the screen, at most once.
    if (auto done = std::exchange(answered_, nullptr)) done(choice_);
}

}  // namespace lv
