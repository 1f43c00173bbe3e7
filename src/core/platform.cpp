#include "core/platform.h"

namespace lv {

void ScriptedPlatform::show(Shown s)
{
    s.busy = busyDepth > 0;
    shown.push_back(s);
    if (onShown) onShown(shown.back());
}

void ScriptedPlatform::message(std::string_view text, std::string_view title)
{
    show({std::string(text), std::string(title), false});
}

void ScriptedPlatform::error(std::string_view text, std::string_view title)
{
    show({std::string(text), std::string(title), false, true});
}

bool ScriptedPlatform::askOkCancel(std::string_view text, std::string_view title)
{
    show({std::string(text), std::string(title), true});
    if (answers.empty()) return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedPlatform::clearClipboard()
{
    clipboardText.clear();
    clipboardPicture = RgbPicture{};
}

void ScriptedPlatform::setClipboardText(std::string_view text)
{
    clipboardText = std::string(text);
    ++clipboardWrites;
}

void ScriptedPlatform::setClipboardPicture(const RgbPicture& picture)
{
    clipboardPicture = picture;
    ++clipboardWrites;
}

std::vector<std::string> ScriptedPlatform::messageTexts() const
{
    std::vector<std::string> out;
    for (const auto& s : shown) {
        if (!s.question) out.push_back(s.text);
    }
    return out;
}

}  // namespace lv
