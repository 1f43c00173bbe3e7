// The program's version, in one place: the window title, the Ver box,
// lumavist-cli --version, the AAVSO file's #SOFTWARE and the packages'
// names all take it from here (CMake reads the two lines below).
#pragma once

#define LUMAVIST_VERSION_TEXT "5.06b"
// Counts the packages built of one version.
#define LUMAVIST_BUILD_NUMBER 1

namespace lv {

inline constexpr const char* kVersion = LUMAVIST_VERSION_TEXT;
inline constexpr int kBuildNumber = LUMAVIST_BUILD_NUMBER;

}  // namespace lv
