// Modules that sondaro-cli must refuse in place of its lossless-check module:
// built with SONDARO_FAKE_OTHER_INTERFACE, one whose entry point hands out a
// table of another interface (a module left from an older build); without it,
// one with no entry point at all.
#include "CheckModule.h"

#ifdef SONDARO_FAKE_OTHER_INTERFACE
extern "C" __attribute__((visibility("default"))) const TCheckModuleApi* sondaro_check_module() {
    static TCheckModuleApi api;
    api.Interface = kCheckModuleInterface + 1;
    return &api;
}
#else
extern "C" __attribute__((visibility("default"))) int sondaro_unrelated_function() { return 42; }
#endif
