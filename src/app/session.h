// Everything that lives for the whole run of the application: the one
// current image with its pixel storage pool, the application-wide values,
// the settings file's values and the state of each subsystem.
#pragma once

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/pixel_pool.h"
#include "core/settings.h"
#include "core/platform.h"
#include "photometry/automatic_run.h"
#include "photometry/photometry_state.h"
#include "processing/processing_state.h"

namespace lv {

struct Session {
    FitsImage image;
    AppState state;
    AppSettings settings;
    PixelPool pixelPool;  // storage of replaced images, for the next read
    PhotometryState photometry;
    AutomaticRun automatic;
    ProcessingState processing;

    // The objects the automatic run works on.
    AutomaticContext automaticContext(Platform& platform)
    {
        return {image, state, &pixelPool, photometry, processing.queue, platform};
    }
};

}  // namespace lv
