#include "dsp/FftwPlanner.h"

std::mutex& FftwPlannerLock() {
    static std::mutex lock;
    return lock;
}
