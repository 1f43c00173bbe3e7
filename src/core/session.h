// Everything that lives for the whole run of the application: the one
// current image, the application-wide values and the settings file's values.
#pragma once

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/settings.h"

namespace lv {

struct Session {
    FitsImage image;
    AppState state;
    AppSettings settings;
};

}  // namespace lv
