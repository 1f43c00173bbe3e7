#include "app/current_folder.h"

#include <filesystem>

#include "core/conventions.h"

namespace lv {

bool setCurrentFolder(Session& session, const std::string& folder)
{
    std::error_code ec;
    std::filesystem::current_path(folder, ec);
    if (ec) return false;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    session.state.currentFolder = ec ? folder : std::filesystem::path(here).make_preferred().string();
    return true;
}

std::string inCurrentFolder(const Session& session, const std::string& name)
{
    if (std::filesystem::path(name).is_absolute() || session.state.currentFolder.empty()) return name;
    return joinPath(session.state.currentFolder, name);
}

}  // namespace lv
