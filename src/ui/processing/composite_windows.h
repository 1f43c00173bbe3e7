// "Auto Composite" (Form21) and "Change BZERO and BSCALE" (Form22): the
// shared folder chooser and the job each runs on "OK".
#pragma once

#include <QWidget>

#include <array>

#include "app/session.h"
#include "core/platform.h"
#include "ui/panel.h"

class QLineEdit;
class QRadioButton;

namespace lv {

class FolderChooser;

class CompositeWindow : public QWidget {
    Q_OBJECT
public:
    // `run` runs the job guarded and shows the frame in view again afterwards.
    CompositeWindow(Session& session, Platform& platform, JobRunner run, QWidget* parent);
    FolderChooser& chooser() const { return *chooser_; }
    int pictures() const;
    void setPictures(int pictures);
    void accept();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    Platform& platform_;
    JobRunner run_;
    FolderChooser* chooser_;
    std::array<QRadioButton*, 3> options_{};  // Option1 "7 pictures", Option2 "5", Option3 "3"
};

class BzeroWindow : public QWidget {
    Q_OBJECT
public:
    BzeroWindow(Session& session, Platform& platform, JobRunner run, QWidget* parent);
    FolderChooser& chooser() const { return *chooser_; }
    void accept();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& session_;
    Platform& platform_;
    JobRunner run_;
    FolderChooser* chooser_;
    QLineEdit* bscale_;  // Text1
    QLineEdit* bzero_;   // Text2
};

}  // namespace lv
