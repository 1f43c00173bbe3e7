// The file dialog (Form2): one window for every single-file choice. The
// command that opens it gives the mode (which options it shows, which files
// it lists) and what its "OK" does with the chosen path.
#pragma once

#include <QWidget>

#include "app/session.h"
#include "ui/panel.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QRadioButton;
class QTreeView;

namespace lv {

class FileDialog : public QWidget {
    Q_OBJECT
public:
    FileDialog(Session& session, FileDialogMode mode, const QString& caption, PanelHost::FileAccept accept,
               QWidget* parent);

    FileDialogMode mode() const { return mode_; }
    // "OK": hands the path in the file-name box to the opener's action.
    void accept();
    // Shows `folder` in the folder and file lists (the folder rule).
    void chooseFolder(const QString& folder);
    // Selects a file of the file list by name (the file-name rule).
    void chooseFile(const QString& name);
    // The file list's folder.
    QString folder() const;
    QTreeView* folderList() const { return folders_; }
    QListView* fileList() const { return files_; }
    // "The minus is used", for the dark subtraction.
    bool minusUsed() const;
    // The chosen BITPIX of the save mode, 0 when none is chosen.
    int bitpix() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyFileNameRule(const QString& fileName);

    Session& session_;
    FileDialogMode mode_;
    PanelHost::FileAccept accept_;
    QComboBox* drives_ = nullptr;  // Drive1, Windows only
    QTreeView* folders_;           // Dir1
    QListView* files_;             // File1
    QFileSystemModel* folderModel_;
    QFileSystemModel* fileModel_;
    QLineEdit* path_;              // Text1
    QCheckBox* unsigned_;          // Check2
    QCheckBox* minus_;             // Check1
    QLabel* bitpixLabel_;          // Label1
    QLabel* folderLabel_;          // Label2: the folder shown
    QRadioButton* bitpix8_;        // Option1
    QRadioButton* bitpix16_;       // Option2
    QRadioButton* bitpix32_;       // Option3
    bool showing_ = false;         // the lists are being moved, not by the user
};

}  // namespace lv
