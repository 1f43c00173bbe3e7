// What the operating system gives every command: message boxes, OK/Cancel
// questions, the clipboard, the beep and the busy pointer.
//
// Commands take this interface instead of calling a window system, so that
// every command runs the same under the desktop application, the command-line
// tool and the tests.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/picture.h"

namespace lv {

class Platform {
public:
    virtual ~Platform() = default;

    // A message box with an OK button; an empty title means the application's.
    virtual void message(std::string_view text, std::string_view title = {}) = 0;
    // The same for an error (a rejected file, a failed write): shown with
    // the warning sign instead of the information sign.
    virtual void error(std::string_view text, std::string_view title = {}) { message(text, title); }
    // A question with OK and Cancel; true for OK.
    virtual bool askOkCancel(std::string_view text, std::string_view title = {}) = 0;
    virtual void clearClipboard() = 0;
    virtual void setClipboardText(std::string_view text) = 0;
    virtual void setClipboardPicture(const RgbPicture& picture) = 0;
    virtual void beep() = 0;
    // The hourglass pointer on (true) or back to normal (false).
    virtual void setBusy(bool busy) = 0;
};

// Shows the busy pointer for the lifetime of the object, also on early return.
class BusyPointer {
public:
    explicit BusyPointer(Platform& p) : platform_(p) { platform_.setBusy(true); }
    ~BusyPointer() { platform_.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    Platform& platform_;
};

// A platform without a screen: records what would have been shown and answers
// questions from a script. Used by the command-line tool and the tests.
class ScriptedPlatform : public Platform {
public:
    struct Shown {
        std::string text;
        std::string title;
        bool question = false;
        bool error = false;
        bool busy = false;  // the busy pointer was showing
    };

    std::vector<Shown> shown;       // messages and questions, in order
    // Called as each message or question is shown (tests look at the windows then).
    std::function<void(const Shown&)> onShown;
    std::deque<bool> answers;       // answers to the next questions
    bool defaultAnswer = true;      // when the script has run out
    std::string clipboardText;
    RgbPicture clipboardPicture;
    int clipboardWrites = 0;
    int beeps = 0;
    int busyDepth = 0;

    void message(std::string_view text, std::string_view title = {}) override;
    void error(std::string_view text, std::string_view title = {}) override;
    bool askOkCancel(std::string_view text, std::string_view title = {}) override;
    void clearClipboard() override;
    void setClipboardText(std::string_view text) override;
    void setClipboardPicture(const RgbPicture& picture) override;
    void beep() override { ++beeps; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    // Texts of the messages (not questions) shown so far.
    std::vector<std::string> messageTexts() const;

private:
    void show(Shown s);
};

}  // namespace lv
