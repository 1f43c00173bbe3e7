// The folder window (Form7): picks a folder, shows and lets the user edit
// the list of its frames, sorts it, and on "OK" hands the parsed list to
// the job its opener gave (continuous calibration or automatic photometry).
#pragma once

#include <QWidget>

#include <functional>

#include "app/session.h"
#include "core/platform.h"
#include "ui/panel.h"

class QCheckBox;
namespace lv {
class FolderChooser;
}
class QComboBox;
class QFileSystemModel;
class QPlainTextEdit;
class QTreeView;

namespace lv {

class FolderWindow : public QWidget {
    Q_OBJECT
public:
    FolderWindow(Session& session, Platform& platform, FileDialogMode mode, const QString& caption, FolderAccept accept,
                 QWidget* parent);

    // "OK", "Sort", and a folder chosen in the directory list.
    void accept();
    void sort();
    void chooseFolder(const QString& folder);

    // What "OK" read: "pictures are not checked" and the answer to "display picture?".
    bool picturesNotChecked() const { return picturesNotChecked_; }
    bool displayPictures() const { return displayPictures_; }
    // The folder shown, which is also the current folder (native separators).
    QString folder() const;
    QPlainTextEdit* list() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:

    Session& session_;
    Platform& platform_;
    FileDialogMode mode_;
    FolderAccept accept_;
    QCheckBox* notChecked_;    // Check1
    FolderChooser* chooser_;   // Text1, Dir1, Drive1, Command1 "Sort"
    QCheckBox* unsigned_;      // Check2
    bool picturesNotChecked_ = false;
    bool displayPictures_ = true;
};

}  // namespace lv
