// The folder chooser the folder, composite and BZERO/BSCALE windows share:
// the editable list of a folder's frames, the directory list (which also
// changes the current folder), the drive list on Windows, and "Sort". The
// list is the session's FileQueue.
#pragma once

#include <QObject>
#include <QString>

#include <string>

#include "app/session.h"
#include "core/platform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QFileSystemModel;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class QWidget;

namespace lv {

class FolderChooser : public QObject {
    Q_OBJECT
public:
    // The controls are made as children of `owner`; the list text box gets `listName`.
    FolderChooser(Session& session, Platform& platform, QWidget* owner, const char* listName);

    QPlainTextEdit* list() const { return list_; }
    QTreeView* folders() const { return folders_; }
    QComboBox* drives() const { return drives_; }  // null but on Windows
    QPushButton* sortButton() const { return sort_; }
    // The folder the job will work on, named in full (Label10).
    QLabel* folderLabel() const { return folderLabel_; }
    // "also .fits and compressed frames" (Check3), kept in the settings file,
    // and the line that points to it when only such frames are here (Label11).
    QCheckBox* anyFitsBox() const { return anyFits_; }
    QLabel* hintLabel() const { return hint_; }

    // A folder chosen: it becomes the current folder and is listed.
    void chooseFolder(const QString& folder);
    // "Sort", and the parse "OK" makes; false when the list held more than 3000 frames.
    void sort();
    void parse();
    // The folder shown (native separators).
    QString folder() const;

private:
    void show(const QString& folder);
    void listFolder();
    std::string listTextOfBox() const;

    Session& session_;
    Platform& platform_;
    QPlainTextEdit* list_;
    QTreeView* folders_;
    QFileSystemModel* folderModel_ = nullptr;
    QComboBox* drives_ = nullptr;
    QPushButton* sort_;
    QLabel* folderLabel_;
    QCheckBox* anyFits_;
    QLabel* hint_;
    bool showing_ = false;  // the tree is being moved to the folder, not by the user
};

}  // namespace lv
