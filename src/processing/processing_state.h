// What the processing subsystem keeps for the whole run.
#pragma once

#include <string>

#include "processing/calibration.h"
#include "core/file_queue.h"
#include "processing/polynomial_fit.h"
#include "core/undo.h"

namespace lv {

struct ProcessingState {
    UndoBuffer undo;
    CalibrationFrame calibration;  // the last dark or flat read
    FileQueue queue;               // the folder window's list, shared by every folder job
    std::string darkFilePath;      // chosen for continuous dark subtraction
    std::string flatFilePath;      // chosen for continuous flat fielding
    FitState fit;                  // fitDegree and the last fit's matrix
};

}  // namespace lv
