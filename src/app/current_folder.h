// The current folder: the one the user chose last in the file dialog or a
// folder window. Commands that work "in the current folder" (the bow table,
// the report files, the AAVSO file, mag_est.txt, a folder's frames) read it
// from the session; names relative to it (a folder list's entries, a typed
// file name) are taken in it, because the process's working directory is
// kept equal to it here and nowhere else.
#pragma once

#include <string>

#include "app/session.h"

namespace lv {

// Makes `folder` the current folder. False, with nothing changed, when it
// cannot be entered.
bool setCurrentFolder(Session& session, const std::string& folder);

// `name` in the current folder (the name itself when it is absolute).
std::string inCurrentFolder(const Session& session, const std::string& name);

}  // namespace lv
