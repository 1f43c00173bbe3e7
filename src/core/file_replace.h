// Safe replacement of a user's file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace lv {

// Writes `path` through a temporary file in the same folder that is flushed
// to the disk and renamed over the target only when `write` returned true and
// every byte reached the disk; the folder is flushed after the rename where
// the system allows. On failure the temporary file is removed, the target is
// untouched, `error` says why and the result is false.
//
// An existing target keeps its permissions; a target without write
// permission is refused; a symbolic link is followed, so that the file it
// points to is replaced and the link stays a link.
bool replaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write, std::string& error);

// Writes `bytes` as the whole content of `path` the same way.
bool replaceFileWith(const std::string& path, const std::string& bytes, std::string& error);

// The temporary file that a replacement of `path` writes: ".lumavist-"
// eight hex digits ".tmp" in the target's folder, the same name every time
// for the same target, so that one left by a killed program is removed by
// the next replacement of that target. Short enough for any target name.
std::string replacementTemporaryPath(const std::string& path);

// For tests and benchmarks: while `err` is above 0, flushing a temporary file
// to the disk fails with that error number; -1 leaves the flushes out (to
// measure what they cost); 0 flushes as usual.
void setDiskFlushForTesting(int err);

}  // namespace lv
