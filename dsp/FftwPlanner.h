// FFTW's planner is not thread-safe; only fftw_execute is. Several files are
// checked at once, so every plan is made and destroyed under this one lock.
#pragma once

#include <mutex>

std::mutex& FftwPlannerLock();
