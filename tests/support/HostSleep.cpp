#include "HostSleep.h"

#include "omra/omra.h"

#if defined(_WIN32)
#define HOST_EXPORT __declspec(dllexport)
#else
#define HOST_EXPORT __attribute__((visibility("default")))
#endif

namespace testing_support {
std::vector<uint32_t>& Pauses() {
    static std::vector<uint32_t> pauses;
    return pauses;
}
} // namespace testing_support

extern "C" HOST_EXPORT void OMRA_CALL OmraHost_Sleep(uint32_t milliseconds) {
    testing_support::Pauses().push_back(milliseconds);
}

// The suites are built with g++ and catch the library's exceptions as such.
extern "C" HOST_EXPORT int OMRA_CALL OmraHost_GxxExceptions(void) {
    return 1;
}
