// The file dialog (Form2): one window for every single-file choice. What its
// "OK" does is decided by the application state's file-dialog mode.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QRadioButton;
class QTreeView;

namespace lv {

class MainWindow;

class FileDialog : public QWidget {
    Q_OBJECT
public:
    FileDialog(MainWindow& main, const QString& caption);

    // "OK": the action of the current mode.
    void accept();
    // Shows `folder` in the folder and file lists (the folder rule).
    void chooseFolder(const QString& folder);
    // Selects a file of the file list by name (the file-name rule).
    void chooseFile(const QString& name);
    // The file list's folder.
    QString folder() const;
    // "The minus is used", for the dark subtraction.
    bool minusUsed() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyFileNameRule(const QString& fileName);
    void saveImage();

    MainWindow& main_;
    QComboBox* drives_ = nullptr;  // Drive1, Windows only
    QTreeView* folders_;           // Dir1
    QListView* files_;             // File1
    QFileSystemModel* folderModel_;
    QFileSystemModel* fileModel_;
    QLineEdit* path_;              // Text1
    QCheckBox* unsigned_;          // Check2
    QCheckBox* minus_;             // Check1
    QLabel* bitpixLabel_;          // Label1
    QRadioButton* bitpix8_;        // Option1
    QRadioButton* bitpix16_;       // Option2
    QRadioButton* bitpix32_;       // Option3
};

}  // namespace lv
