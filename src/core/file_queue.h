// The list of a folder's frames that every folder job walks: built from the
// folder (List), from the folder window's edited text (Parse), sorted (Sort).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lv {

struct FileQueue {
    static constexpr int kCapacity = 3000;

    std::vector<std::string> names;  // slot 1 is names[0]; no folder part
    int current = 0;                 // 1-based slot being processed, 0 before the first
    // "also .fits and compressed frames": names ending in .fits, .FITS, .fz
    // and .gz are listed and qualify too.
    bool anyFits = false;

    int count() const { return static_cast<int>(names.size()); }
    const std::string& name(int slot) const { return names[static_cast<std::size_t>(slot - 1)]; }
};

// A listed name ends exactly in "fit", "FIT", "fts" or "FTS"; with `anyFits`
// also in ".fits", ".FITS", ".fz" or ".gz".
bool hasListedEnding(std::string_view name, bool anyFits = false);
// A queue entry a job processes: at least 5 characters and a listed ending.
bool qualifies(std::string_view name, bool anyFits = false);

struct ListResult {
    bool folderRead = true;  // false when the folder cannot be read
    bool truncated = false;  // the folder holds more than kCapacity frames
    int otherFrames = 0;     // files that only "also .fits and compressed frames" would list
};

// List: the plain files of `folder` with a listed ending (the queue's
// anyFits says which), in the order the file system gives them ("." and
// ".." skipped), at most kCapacity.
ListResult listFolder(const std::string& folder, FileQueue& queue);

// Parse: one entry per line of `text`, lines ended by CR LF; what follows the
// last CR is not taken. An empty line is an empty entry (it does not qualify).
// Returns false when the text holds more than kCapacity entries (the first
// kCapacity are kept).
bool parseList(std::string_view text, FileQueue& queue);

// Sort: ascending, ordinal on the character codes (upper case before lower).
void sortQueue(FileQueue& queue);

// The folder window's text: every name followed by CR LF.
std::string listText(const FileQueue& queue);

// Where a queue entry is read from: the name itself when `folder` is empty
// (names are relative to the current folder), otherwise folder joined to it.
std::string entryPath(const std::string& folder, const std::string& name);

// The folder as a message names it: `folder`, or the current folder when empty.
std::string folderShown(const std::string& folder);

}  // namespace lv
