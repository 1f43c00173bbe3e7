#include "core/file_queue.h"

#include <algorithm>
#include <filesystem>

#include "core/conventions.h"

namespace lv {

bool hasListedEnding(std::string_view name, bool anyFits)
{
    if (name.size() < 3) return false;
    const std::string_view end = name.substr(name.size() - 3);
    if (end == "fit" || end == "FIT" || end == "fts" || end == "FTS") return true;
    return anyFits && (name.ends_with(".fits") || name.ends_with(".FITS") || name.ends_with(".fz") ||
                       name.ends_with(".gz"));
}

bool qualifies(std::string_view name, bool anyFits) { return name.size() >= 5 && hasListedEnding(name, anyFits); }

ListResult listFolder(const std::string& folder, FileQueue& queue)
{
    ListResult result;
    queue.names.clear();
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) {
        result.folderRead = false;
        return result;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string name = it->path().filename().string();
        if (!hasListedEnding(name, queue.anyFits)) {
            if (hasListedEnding(name, true)) ++result.otherFrames;
            continue;
        }
        if (queue.count() == FileQueue::kCapacity) {
            result.truncated = true;
            break;
        }
        queue.names.push_back(name);
    }
    if (ec) result.folderRead = false;
    return result;
}

bool parseList(std::string_view text, FileQueue& queue)
{
    queue.names.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') continue;
        if (queue.count() == FileQueue::kCapacity) return false;
        queue.names.emplace_back(text.substr(start, i - start));
        // Past CR LF; a following empty line is looked at as a line of its own.
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return true;
}

void sortQueue(FileQueue& queue)
{
    // Ordinal on the character codes: compare as unsigned bytes.
    std::sort(queue.names.begin(), queue.names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
    });
}

std::string listText(const FileQueue& queue)
{
    std::string out;
    for (const std::string& n : queue.names) {
        out += n;
        out += kCrLf;
    }
    return out;
}

std::string entryPath(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : joinPath(folder, name);
}

std::string folderShown(const std::string& folder)
{
    if (!folder.empty()) return folder;
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string(".") : here.string();
}

}  // namespace lv
