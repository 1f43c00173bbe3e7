// Safe replacement of a user's file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace lv {

// Writes `path` through a temporary file in the same folder that is renamed
// over the target only when `write` returned true and every byte reached the
// disk. On failure the temporary file is removed, the target is untouched,
// `error` says why and the result is false. An existing target keeps its
// permissions.
bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error);

// Writes `bytes` as the whole content of `path` the same way.
bool replaceFileWith(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace lv
