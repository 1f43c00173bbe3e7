#include "ui/folder_chooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include "app/current_folder.h"
#include "core/conventions.h"
#include "core/file_queue.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

FolderChooser::FolderChooser(Session& session, Platform& platform, QWidget* owner, const char* listName)
    : QObject(owner), session_(session), platform_(platform)
{
    list_ = new QPlainTextEdit(owner);
    list_->setObjectName(listName);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    folders_ = folderTree(owner, folderModel_);
    folders_->setParent(owner);
    sort_ = namedButton("Command1", "Sort", owner);
#ifdef Q_OS_WIN
    drives_ = new QComboBox(owner);
    drives_->setObjectName("Drive1");
    for (const QFileInfo& d : QDir::drives()) drives_->addItem(QDir::toNativeSeparators(d.absolutePath()));
    connect(drives_, &QComboBox::activated, this, [this](int i) { chooseFolder(drives_->itemText(i)); });
#endif
    folderLabel_ = namedLabel("Label10", QString(), owner);
    folderLabel_->setWordWrap(true);
    folderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    anyFits_ = new QCheckBox("also .fits and compressed frames", owner);
    anyFits_->setObjectName("Check3");
    anyFits_->setChecked(session_.settings.anyFits);
    hint_ = namedLabel("Label11", QString(), owner);
    hint_->setWordWrap(true);
    hint_->hide();
    connect(anyFits_, &QCheckBox::toggled, this, [this](bool on) {
        session_.settings.anyFits = on;
        listFolder();
    });
    connect(sort_, &QPushButton::clicked, this, &FolderChooser::sort);
    // A folder chosen with the keyboard is chosen as by a click.
    connect(folders_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        // The tree coming to the folder already shown changes nothing (an edited list stays).
        if (showing_ || !i.isValid() || QDir(folderModel_->filePath(i)) == QDir(folder())) return;
        chooseFolder(folderModel_->filePath(i));
    });
    connect(folders_, &QTreeView::clicked, this,
            [this](const QModelIndex& i) { chooseFolder(folderModel_->filePath(i)); });
    show(folder());
    listFolder();
}

void FolderChooser::show(const QString& folder)
{
    showing_ = true;
    showFolder(folders_, folderModel_, folder);
    showing_ = false;
    folderLabel_->setText(breakablePath(QDir::toNativeSeparators(folder)));
}

QString FolderChooser::folder() const
{
    const std::string& f = session_.state.currentFolder;
    return f.empty() ? QDir::toNativeSeparators(QDir::currentPath()) : fromLocal(f);
}

void FolderChooser::chooseFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    // The queue's names are relative to the current folder.
    if (!setCurrentFolder(session_, toLocal(QDir::toNativeSeparators(clean)))) {
        platform_.error(toLocal(QDir::toNativeSeparators(clean)) + ": the folder cannot be opened");
        return;
    }
    show(clean);
    listFolder();
}

void FolderChooser::listFolder()
{
    FileQueue& queue = session_.processing.queue;
    queue.anyFits = session_.settings.anyFits;
    const ListResult r = lv::listFolder(std::string(), queue);
    if (!r.folderRead) platform_.error(toLocal(folder()) + ": the folder cannot be read");
    if (r.truncated) platform_.message(toLocal(folder()) + ": more than 3000 frames; only the first 3000 are listed");
    list_->setPlainText(fromLocal(listText(queue)));
    // Frames the plain rule leaves out are not passed over without a word.
    const bool hidden = queue.count() == 0 && r.otherFrames > 0;
    hint_->setText(hidden ? fromLocal(plainNumberText(r.otherFrames)) +
                                (r.otherFrames == 1 ? " frame here is" : " frames here are") +
                                " named .fits, .FITS, .fz or .gz: tick \"also .fits and compressed frames\" to list "
                                "them"
                          : QString());
    hint_->setVisible(hidden);
}

std::string FolderChooser::listTextOfBox() const
{
    // The text box ends its lines with LF alone.
    QString text = list_->toPlainText();
    text.replace("\r\n", "\n");
    text.replace('\n', "\r\n");
    return toLocal(text);
}

void FolderChooser::parse()
{
    if (!parseList(listTextOfBox(), session_.processing.queue))
        platform_.message("The list holds more than 3000 frames; the first 3000 are kept");
}

void FolderChooser::sort()
{
    BusyPointer busy(platform_);
    parse();
    sortQueue(session_.processing.queue);
    list_->setPlainText(fromLocal(listText(session_.processing.queue)));
}

}  // namespace lv
