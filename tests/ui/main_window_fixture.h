// A main window started in a scratch folder (its start folder, where the
// settings file goes), with lookups of menu actions and fields by name.
#pragma once

#include <QAction>
#include <QDir>
#include <QLineEdit>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "core/platform.h"
#include "app/session.h"
#include "fits_builder.h"
#include "ui/main_window.h"

namespace lv::test {

class MainWindowFixture : public ::testing::Test {
protected:
    TempDir dir;
    QString previousFolder = QDir::currentPath();
    Session session;
    ScriptedPlatform platform;
    std::unique_ptr<MainWindow> main;

    void SetUp() override { QDir::setCurrent(QString::fromStdString(dir.path().string())); }
    void TearDown() override
    {
        if (main) main->close();
        main.reset();
        QDir::setCurrent(previousFolder);
    }
    void start(const std::string& commandLine = {})
    {
        main = std::make_unique<MainWindow>(session, platform);
        main->startUp(commandLine);
        main->show();
    }
    std::string put(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    template <class T>
    T* find(const char* name) const
    {
        return main->findChild<T*>(name);
    }
    void trigger(const char* action) { find<QAction>(action)->trigger(); }
    QString text(const char* box) const { return find<QLineEdit>(box)->text(); }
};

}  // namespace lv::test
