// vantor-station: loads the action library as a host does and shows what it
// offers.
#include "OmraHost.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : host::DefaultLibraryPath();
    host::Library lib;
    if (!lib.Load(path)) {
        std::fprintf(stderr, "vantor-station: %s\n", lib.Error().c_str());
        return 2;
    }
    LIBRARY_INFO info;
    std::memset(&info, 0, sizeof info);
    uint32_t r = lib.Startup(&info);
    if (r != 0) {
        std::fprintf(stderr, "vantor-station: Omra_Startup failed (0x%08x)\n", r);
        return 1;
    }
    std::printf("Library: %s\n", path.c_str());
    std::printf("Actions offered: %u\n", info.count);
    for (unsigned i = 0; i < info.count && i < OMRA_MAX_ACTIONS; ++i) {
        const ACTION_ENTRY& e = info.entries[i];
        std::string name(e.name, strnlen(e.name, sizeof e.name));
        std::printf("  %u (0x%04X)  %s\n", e.id, e.id, host::GbkToUtf8(name).c_str());
    }
    lib.Cleanup();
    return 0;
}
