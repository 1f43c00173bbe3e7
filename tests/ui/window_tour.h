// Every window of the desktop as a user first meets it: a fresh main window
// (no settings file yet) over the demo night, and one scene per window or
// per command that opens several windows at once. The gallery photographs
// the scenes; the layout tests measure them.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "core/platform.h"
#include "ui/main_window.h"

namespace lv::test {

// The demo night, written once per test program into a scratch folder.
std::string demoFolder();

// A started main window in the demo folder, with a settings file of its own
// (none at first, as on a first start).
class TourStage {
public:
    TourStage();
    ~TourStage();
    TourStage(const TourStage&) = delete;
    TourStage& operator=(const TourStage&) = delete;

    Session session;
    ScriptedPlatform platform;
    std::unique_ptr<MainWindow> main;

    // A frame of the demo night opened as a dropped file.
    void openFrame(const std::string& name = "demo_0001.fit");
    std::string framePath(const std::string& name) const;
    void trigger(const char* action) const;
    // The secondary window named `form`, when it is open.
    QWidget* window(const char* form) const;
    // Every visible window of the application, the main window first.
    QList<QWidget*> visibleWindows() const;

private:
    std::string startFolder_;
    QString previousFolder_;
};

struct Scene {
    std::string name;                    // file name of its picture
    std::string what;                    // what the user did
    std::function<void(TourStage&)> act;  // does it
    // The windows the scene is about (form names); when there are several,
    // they were opened by one command and must not cover each other.
    std::vector<std::string> forms;
};

// Every window (Form1 ... Form24), then the commands that open several.
const std::vector<Scene>& scenes();

// Waits until every visible window is on the screen (and, under a window
// manager, framed), then a little longer for the paint.
void settle(const TourStage& stage);

}  // namespace lv::test
