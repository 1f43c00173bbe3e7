// The one conversion of text into the Shift-JIS code page, for the
// observation report files (whose readers expect Japanese Windows text).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lv {

// `text` in the system's 8-bit encoding (UTF-8 on Linux and macOS, the ANSI
// code page on Windows) as Shift-JIS (code page 932). nullopt when a
// character has no Shift-JIS form, or the text is not valid in its
// encoding; `bad` then holds the first such character as typed.
std::optional<std::string> toShiftJis(std::string_view text, std::string* bad = nullptr);

}  // namespace lv
