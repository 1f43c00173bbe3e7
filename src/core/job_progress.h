// What a long folder job tells the user while it walks its files, and how
// the user stops it. The desktop shows the progress window and lets Qt
// process events in update(); scripts and tests use the silent default.
#pragma once

#include <string>

namespace lv {

class JobProgress {
public:
    virtual ~JobProgress() = default;
    // The job starts: the window opens with this caption and label.
    virtual void show(const std::string& /*caption*/, const std::string& /*label*/) {}
    // Once per file, before it is processed. Returns false when the user
    // asked to stop: the job then ends before this file.
    virtual bool update(const std::string& /*caption*/, const std::string& /*label*/) { return true; }
    // The job ended (also early, on an error or a stop).
    virtual void close() {}
};

}  // namespace lv
