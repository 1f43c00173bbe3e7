#include "ui/processing/composite_windows.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QComboBox>

#include "processing/composite.h"
#include "ui/display/qt_job_progress.h"
#include "ui/platform/qt_support.h"
#include "ui/folder_chooser.h"
#include "ui/widgets.h"

namespace lv {

namespace {

// The chooser's controls, Cancel and OK in the windows' common layout.
QGridLayout* chooserLayout(QWidget* window, FolderChooser* chooser, QPushButton* cancel, QPushButton* ok, int row)
{
    auto* grid = new QGridLayout(window);
    grid->addWidget(chooser->folderLabel(), row, 0, 1, 2);
    grid->addWidget(chooser->anyFitsBox(), row + 1, 0, 1, 2);
    grid->addWidget(chooser->hintLabel(), row + 2, 0, 1, 2);
    grid->addWidget(chooser->list(), row + 3, 0, 3, 1);
    grid->addWidget(chooser->sortButton(), row + 3, 1);
    grid->addWidget(chooser->folders(), row + 4, 1);
    if (chooser->drives()) grid->addWidget(chooser->drives(), row + 5, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    grid->addLayout(buttons, row + 6, 0, 1, 2);
    return grid;
}

}  // namespace

CompositeWindow::CompositeWindow(Session& session, Platform& platform, JobRunner run, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), run_(std::move(run))
{
    setObjectName("Form21");
    setWindowTitle("Auto Composite");
    setAttribute(Qt::WA_DeleteOnClose);
    const char* texts[] = {"7 pictures", "5 pictures", "3 pictures"};
    for (int i = 0; i < 3; ++i) {
        options_[static_cast<std::size_t>(i)] = new QRadioButton(texts[i], this);
        options_[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("Option%1").arg(i + 1));
    }
    options_[2]->setChecked(true);
    chooser_ = new FolderChooser(session, platform, this, "Text1");
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* ok = namedButton("Command3", "OK", this);
    QGridLayout* grid = chooserLayout(this, chooser_, cancel, ok, 1);
    auto* options = new QHBoxLayout;
    for (QRadioButton* o : options_) options->addWidget(o);
    grid->addLayout(options, 0, 0, 1, 2);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ok, &QPushButton::clicked, this, &CompositeWindow::accept);
    resize(520, 420);
    placeWindow(this, session_.settings.window(SettingsWindow::Composite));
}

int CompositeWindow::pictures() const { return options_[0]->isChecked() ? 7 : options_[1]->isChecked() ? 5 : 3; }

void CompositeWindow::setPictures(int pictures)
{
    options_[pictures == 7 ? 0 : pictures == 5 ? 1 : 2]->setChecked(true);
}

void CompositeWindow::accept()
{
    chooser_->parse();
    const std::string folder = toLocal(chooser_->folder());
    hide();
    auto job = [&] {
        QtJobProgress progress(parentWidget());
        runComposite(session_.image, session_.state, &session_.pixelPool, session_.processing.queue,
                     {pictures(), folder}, progress, platform_);
    };
    if (run_)
        run_(job);
    else
        job();
    close();
}

void CompositeWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::Composite) = windowPosition(this);
    event->accept();
}

BzeroWindow::BzeroWindow(Session& session, Platform& platform, JobRunner run, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), platform_(platform), run_(std::move(run))
{
    setObjectName("Form22");
    setWindowTitle("Change BZERO and BSCALE");
    setAttribute(Qt::WA_DeleteOnClose);
    bscale_ = namedLineEdit("Text1", "1", this);
    bzero_ = namedLineEdit("Text2", "0", this);
    chooser_ = new FolderChooser(session, platform, this, "Text3");
    QPushButton* cancel = namedButton("Command2", "Cancel", this);
    QPushButton* ok = namedButton("Command3", "OK", this);
    QGridLayout* grid = chooserLayout(this, chooser_, cancel, ok, 2);
    grid->addWidget(namedLabel("Label1", "BSCALE", this), 0, 0);
    grid->addWidget(bscale_, 0, 1);
    grid->addWidget(namedLabel("Label2", "BZERO", this), 1, 0);
    grid->addWidget(bzero_, 1, 1);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ok, &QPushButton::clicked, this, &BzeroWindow::accept);
    resize(520, 440);
    placeWindow(this, session_.settings.window(SettingsWindow::BzeroBscale));
}

void BzeroWindow::accept()
{
    chooser_->parse();
    const std::string folder = toLocal(chooser_->folder());
    RewriteResult r;
    auto job = [&] {
        QtJobProgress progress(parentWidget());
        r = rewriteBzeroBscale(session_.processing.queue, folder, toLocal(bzero_->text()), toLocal(bscale_->text()),
                               progress, platform_);
    };
    if (run_)
        run_(job);
    else
        job();
    // A refused value, or a Cancel, leaves the window open for another try.
    if (!r.refused && !r.cancelled) close();
}

void BzeroWindow::closeEvent(QCloseEvent* event)
{
    session_.settings.window(SettingsWindow::BzeroBscale) = windowPosition(this);
    event->accept();
}

}  // namespace lv
