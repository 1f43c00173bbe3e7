// How many processors this process may run its work on: those of its
// affinity mask (a job started with `taskset -c 0` gets one), not those the
// machine has online.
#pragma once

namespace lv {

int usableProcessors();

// For tests: the count usableProcessors returns from now on (0: the real one).
void setUsableProcessorsForTesting(int count);

}  // namespace lv
