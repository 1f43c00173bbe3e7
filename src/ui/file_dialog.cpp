#include "ui/file_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include <utility>

#include "app/current_folder.h"
#include "lightcurve/mag_est.h"
#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

FileDialog::FileDialog(Session& session, FileDialogMode mode, const QString& caption, PanelHost::FileAccept accept,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), mode_(mode), accept_(std::move(accept))
{
    setObjectName("Form2");
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout(this);
#ifdef Q_OS_WIN
    drives_ = new QComboBox;
    drives_->setObjectName("Drive1");
    for (const QFileInfo& d : QDir::drives()) drives_->addItem(QDir::toNativeSeparators(d.absolutePath()));
    grid->addWidget(drives_, 0, 0);
    connect(drives_, &QComboBox::activated, this, [this](int i) { chooseFolder(drives_->itemText(i)); });
#endif

    folders_ = folderTree(this, folderModel_);
    grid->addWidget(folders_, 1, 0);
    folderLabel_ = namedLabel("Label2", QString(), this);
    folderLabel_->setWordWrap(true);
    folderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(folderLabel_, 5, 0, 1, 2);

    fileModel_ = new QFileSystemModel(this);
    fileModel_->setFilter(QDir::Files);
    fileModel_->setNameFilterDisables(false);
    fileModel_->setNameFilters(mode == FileDialogMode::LightCurveOrAutomatic
                                   ? QStringList{"*.txt", "*.TXT"}
                                   : QStringList{"*.fit", "*.fts", "*.fits", "*.FIT", "*.FTS", "*.FITS", "*.fz", "*.gz",
                                                 "*.FZ", "*.GZ"});
    files_ = new QListView;
    files_->setObjectName("File1");
    files_->setModel(fileModel_);
    grid->addWidget(files_, 0, 1, 2, 1);

    path_ = namedLineEdit("Text1", fromLocal(session.image.fileName));
    grid->addWidget(path_, 2, 0, 1, 2);

    auto* options = new QHBoxLayout;
    unsigned_ = new QCheckBox("Non Sign Integer");
    unsigned_->setObjectName("Check2");
    unsigned_->setChecked(session.state.bzeroSign != -1);
    // Reading options do not apply to saving or to the photometry data file.
    unsigned_->setVisible(mode != FileDialogMode::Save && mode != FileDialogMode::LightCurveOrAutomatic);
    minus_ = new QCheckBox("The minus is used");
    minus_->setObjectName("Check1");
    // Only the single-frame dark subtraction has this option.
    minus_->setVisible(mode == FileDialogMode::DarkSubtract);
    options->addWidget(unsigned_);
    options->addWidget(minus_);
    bitpixLabel_ = namedLabel("Label1", "BITPIX");
    bitpix8_ = new QRadioButton("8");
    bitpix8_->setObjectName("Option1");
    bitpix16_ = new QRadioButton("16");
    bitpix16_->setObjectName("Option2");
    bitpix32_ = new QRadioButton("32");
    bitpix32_->setObjectName("Option3");
    options->addWidget(bitpixLabel_);
    options->addWidget(bitpix8_);
    options->addWidget(bitpix16_);
    options->addWidget(bitpix32_);
    for (QWidget* w : {static_cast<QWidget*>(bitpixLabel_), static_cast<QWidget*>(bitpix8_),
                       static_cast<QWidget*>(bitpix16_), static_cast<QWidget*>(bitpix32_)})
        w->setVisible(mode == FileDialogMode::Save);
    grid->addLayout(options, 3, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    QPushButton* ok = namedButton("Command1", "OK");
    QPushButton* cancel = namedButton("Command2", "cancel");
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 4, 0, 1, 2);

    connect(unsigned_, &QCheckBox::clicked, this,
            [this](bool on) { session_.state.bzeroSign = on ? 1 : -1; });
    connect(ok, &QPushButton::clicked, this, &FileDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &FileDialog::close);
    connect(path_, &QLineEdit::returnPressed, this, &FileDialog::accept);
    connect(folders_, &QTreeView::clicked, this,
            [this](const QModelIndex& i) { chooseFolder(folderModel_->filePath(i)); });
    connect(files_, &QListView::clicked, this,
            [this](const QModelIndex& i) { applyFileNameRule(fileModel_->fileName(i)); });
    // The keyboard moves through folders and files as clicks do.
    connect(folders_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        // The tree coming to the folder already shown keeps the file-name box.
        if (showing_ || !i.isValid() || QDir(folderModel_->filePath(i)) == QDir(fileModel_->rootPath())) return;
        chooseFolder(folderModel_->filePath(i));
    });
    connect(files_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
        if (!showing_ && i.isValid()) applyFileNameRule(fileModel_->fileName(i));
    });


    resize(560, 400);
    placeWindow(this, session.settings.window(SettingsWindow::FileDialog));
    showing_ = true;
    chooseFolder(session.state.currentFolder.empty() ? QDir::currentPath() : fromLocal(session.state.currentFolder));
    // The folder rule writes the folder into Text1; at opening it shows the
    // current file name instead, chosen in the file list when it is there.
    // For a photometry data file that is a ".txt" name only: the folder's
    // mag_est.txt when the current file is a frame.
    QString currentName = fromLocal(session.image.fileName);
    if (mode == FileDialogMode::LightCurveOrAutomatic && !currentName.endsWith(".txt", Qt::CaseInsensitive))
        currentName = fromLocal(inCurrentFolder(session, kMagEstName));
    path_->setText(currentName);
    const QFileInfo current(currentName);
    if (!currentName.isEmpty() && current.exists() && QDir(current.absolutePath()) == QDir(fileModel_->rootPath())) {
        const QModelIndex i = fileModel_->index(current.absoluteFilePath());
        if (i.isValid()) files_->setCurrentIndex(i);
    }
    showing_ = false;
}

QString FileDialog::folder() const { return QDir::toNativeSeparators(fileModel_->rootPath()); }

bool FileDialog::minusUsed() const { return minus_->isChecked(); }

int FileDialog::bitpix() const
{
    return bitpix32_->isChecked() ? 32 : bitpix16_->isChecked() ? 16 : bitpix8_->isChecked() ? 8 : 0;
}

void FileDialog::chooseFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const bool showing = std::exchange(showing_, true);
    showFolder(folders_, folderModel_, clean);
    showing_ = showing;
    folderLabel_->setText(breakablePath(QDir::toNativeSeparators(clean)));
    files_->setRootIndex(fileModel_->setRootPath(clean));
    applyFileNameRule(QString());
}

void FileDialog::chooseFile(const QString& name)
{
    const QModelIndex i = fileModel_->index(QDir(fileModel_->rootPath()).filePath(name));
    if (i.isValid()) files_->setCurrentIndex(i);
    applyFileNameRule(name);
}

void FileDialog::applyFileNameRule(const QString& fileName)
{
    const QString p = QDir::toNativeSeparators(fileModel_->rootPath());
    const QString separator = p.endsWith(QDir::separator()) ? QString() : QString(QDir::separator());
    // Choosing a folder makes it the current folder, as the folder tools expect.
    setCurrentFolder(session_, toLocal(p));
    path_->setText(p + separator + fileName);
}

void FileDialog::accept()
{
    if (accept_) accept_(*this, toLocal(path_->text()));
}

void FileDialog::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::FileDialog) = windowPosition(this);
    event->accept();
}

}  // namespace lv
