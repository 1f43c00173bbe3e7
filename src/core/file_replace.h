// Safe replacement of a user's file, and reading one whole.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
bool replaceFileWith(const std::string& path, std::string_view bytes, std::string& error);

struct WrittenTemporary;

// A replaceFileWith begun ahead of its turn, on another thread: `bytes` are
// written to a temporary file that has no name yet (a program stopped
// meanwhile leaves nothing), not yet flushed. finish() does the rest in its
// turn (checks, flush, name, rename, folder), with the result, the message
// and the steps replaceFileWith would have. Where the system cannot make
// such a file, ahead() begins nothing and the caller replaces the file in
// its turn.
class StagedReplacement {
public:
    StagedReplacement();
    StagedReplacement(StagedReplacement&&) noexcept;
    StagedReplacement& operator=(StagedReplacement&&) noexcept;
    ~StagedReplacement();
    // Whether ahead() can begin anything on this system.
    static bool possible();
    static StagedReplacement ahead(const std::string& path, std::string_view bytes);
    bool begun() const { return written_ != nullptr; }
    bool finish(std::string& error);

private:
    std::unique_ptr<WrittenTemporary> written_;
};

// The whole content of `path`; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Replaces several files together: every new content is written and on the
// disk before the first rename, and a rename that fails puts back the files
// already replaced, so that they stay a matching set.
bool replaceFilesWith(const std::vector<std::pair<std::string, std::string>>& files, std::string& error);

// Adds `bytes` to the end of `path` (created if need be) in one write; when
// that fails the file is cut back to what it held, and `error` says why.
bool appendToFile(const std::string& path, const std::string& bytes, std::string& error);

// The temporary file that a replacement of `path` writes: ".lumavist-"
// eight hex digits ".tmp" in the target's folder, the same name every time
// for the same target, so that one left by a killed program is removed by
// the next replacement of that target. Short enough for any target name.
std::string replacementTemporaryPath(const std::string& path);

// For tests and benchmarks: while `err` is above 0, flushing a temporary file
// to the disk fails with that error number; -1 leaves the flushes out (to
// measure what they cost); 0 flushes as usual.
void setDiskFlushForTesting(int err);

// For tests: every open, write, flush, close and rename of a file the program
// writes (replacements and appends) is one step. The n-th step from now fails
// with `err` (n = 0: none fails); fileStepsForTesting counts the steps taken.
void failFileStepForTesting(long n, int err);
long fileStepsForTesting();

}  // namespace lv
