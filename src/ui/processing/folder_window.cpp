#include "ui/processing/folder_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include "processing/file_queue.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

FolderWindow::FolderWindow(Session& session, Platform& platform, FileDialogMode mode, const QString& caption,
                           FolderAccept accept, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), mode_(mode), accept_(std::move(accept))
{
    setObjectName("Form7");
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    notChecked_ = new QCheckBox("pictures are not checked");
    notChecked_->setObjectName("Check1");
    notChecked_->setVisible(mode == FileDialogMode::LightCurveOrAutomatic);
    list_ = new QPlainTextEdit;
    list_->setObjectName("Text1");
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    unsigned_ = new QCheckBox("Non Sign Integer");
    unsigned_->setObjectName("Check2");
    unsigned_->setChecked(session.state.bzeroSign == 1);
    QPushButton* sortButton = namedButton("Command1", "Sort");
    folders_ = folderTree(this, folderModel_);
    QPushButton* cancel = namedButton("Command2", "Cancel");
    QPushButton* ok = namedButton("Command3", "OK");

    auto* grid = new QGridLayout(this);
    grid->addWidget(notChecked_, 0, 0, 1, 2);
    grid->addWidget(list_, 1, 0, 3, 1);
    grid->addWidget(unsigned_, 1, 1);
    grid->addWidget(sortButton, 2, 1);
    grid->addWidget(folders_, 3, 1);
#ifdef Q_OS_WIN
    drives_ = new QComboBox;
    drives_->setObjectName("Drive1");
    for (const QFileInfo& d : QDir::drives()) drives_->addItem(QDir::toNativeSeparators(d.absolutePath()));
    grid->addWidget(drives_, 4, 1);
    connect(drives_, &QComboBox::activated, this, [this](int i) { chooseFolder(drives_->itemText(i)); });
#endif
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    grid->addLayout(buttons, 5, 0, 1, 2);

    connect(unsigned_, &QCheckBox::clicked, this, [this](bool on) { session_.state.bzeroSign = on ? 1 : -1; });
    connect(sortButton, &QPushButton::clicked, this, &FolderWindow::sort);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ok, &QPushButton::clicked, this, &FolderWindow::accept);
    connect(folders_, &QTreeView::clicked, this,
            [this](const QModelIndex& i) { chooseFolder(folderModel_->filePath(i)); });

    resize(520, 420);
    placeWindow(this, session.settings.window(SettingsWindow::Folder));
    showFolder(folders_, folderModel_, QDir::currentPath());
    listFolder();
}

QString FolderWindow::folder() const { return QDir::toNativeSeparators(QDir::currentPath()); }

void FolderWindow::chooseFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    // The queue's names are relative to the current folder.
    if (!QDir::setCurrent(clean)) {
        platform_.message(toLocal(QDir::toNativeSeparators(clean)) + ": the folder cannot be opened");
        return;
    }
    showFolder(folders_, folderModel_, clean);
    listFolder();
}

void FolderWindow::listFolder()
{
    FileQueue& queue = session_.processing.queue;
    const ListResult r = lv::listFolder(std::string(), queue);
    if (!r.folderRead) platform_.message(toLocal(folder()) + ": the folder cannot be read");
    if (r.truncated) platform_.message(toLocal(folder()) + ": more than 3000 frames; only the first 3000 are listed");
    list_->setPlainText(fromLocal(listText(queue)));
}

std::string FolderWindow::listTextOfBox() const
{
    // The text box ends its lines with LF alone.
    QString text = list_->toPlainText();
    text.replace("\r\n", "\n");
    text.replace('\n', "\r\n");
    return toLocal(text);
}

void FolderWindow::sort()
{
    BusyPointer busy(platform_);
    FileQueue& queue = session_.processing.queue;
    if (!parseList(listTextOfBox(), queue)) platform_.message("The list holds more than 3000 frames; the first 3000 are kept");
    sortQueue(queue);
    list_->setPlainText(fromLocal(listText(queue)));
}

void FolderWindow::accept()
{
    picturesNotChecked_ = mode_ == FileDialogMode::LightCurveOrAutomatic && notChecked_->isChecked();
    displayPictures_ = true;
    if (picturesNotChecked_) displayPictures_ = platform_.askOkCancel("display picture?");
    if (!parseList(listTextOfBox(), session_.processing.queue))
        platform_.message("The list holds more than 3000 frames; the first 3000 are kept");
    if (accept_) accept_({picturesNotChecked_, displayPictures_});
    close();
}

void FolderWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Folder) = windowPosition(this);
    event->accept();
}

}  // namespace lv
