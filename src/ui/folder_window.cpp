#include "ui/folder_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include "core/file_queue.h"
#include "ui/platform/qt_support.h"
#include "ui/folder_chooser.h"
#include "ui/widgets.h"

namespace lv {

FolderWindow::FolderWindow(Session& session, Platform& platform, FileDialogMode mode, const QString& caption,
                           FolderAccept accept, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), mode_(mode), accept_(std::move(accept))
{
    setObjectName("Form7");
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    notChecked_ = new QCheckBox("pictures are not checked", this);
    notChecked_->setObjectName("Check1");
    notChecked_->setVisible(mode == FileDialogMode::LightCurveOrAutomatic);
    chooser_ = new FolderChooser(session, platform, this, "Text1");
    unsigned_ = new QCheckBox("Non Sign Integer", this);
    unsigned_->setObjectName("Check2");
    unsigned_->setChecked(session.state.bzeroSign == 1);
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* ok = namedButton("Command3", "OK", this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(chooser_->folderLabel(), 0, 0, 1, 2);
    grid->addWidget(notChecked_, 1, 0, 1, 2);
    grid->addWidget(chooser_->anyFitsBox(), 2, 0, 1, 2);
    grid->addWidget(chooser_->hintLabel(), 3, 0, 1, 2);
    grid->addWidget(chooser_->list(), 4, 0, 3, 1);
    grid->addWidget(unsigned_, 4, 1);
    grid->addWidget(chooser_->sortButton(), 5, 1);
    grid->addWidget(chooser_->folders(), 6, 1);
    if (chooser_->drives()) grid->addWidget(chooser_->drives(), 7, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    grid->addLayout(buttons, 8, 0, 1, 2);

    connect(unsigned_, &QCheckBox::clicked, this, [this](bool on) { session_.state.bzeroSign = on ? 1 : -1; });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ok, &QPushButton::clicked, this, &FolderWindow::accept);

    resize(520, 420);
    placeWindow(this, session.settings.window(SettingsWindow::Folder));
}

QString FolderWindow::folder() const { return chooser_->folder(); }
QPlainTextEdit* FolderWindow::list() const { return chooser_->list(); }
void FolderWindow::chooseFolder(const QString& folder) { chooser_->chooseFolder(folder); }
void FolderWindow::sort() { chooser_->sort(); }

void FolderWindow::accept()
{
    picturesNotChecked_ = mode_ == FileDialogMode::LightCurveOrAutomatic && notChecked_->isChecked();
    displayPictures_ = true;
    if (picturesNotChecked_) displayPictures_ = platform_.askOkCancel("display picture?");
    chooser_->parse();
    // Out of the way of what the job shows; closed once it is done.
    hide();
    if (accept_) accept_({picturesNotChecked_, displayPictures_});
    close();
}

void FolderWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Folder) = windowPosition(this);
    event->accept();
}

}  // namespace lv
