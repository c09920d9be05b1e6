// Any bytes as a configuration file: the engine never crashes, reads every
// integer key the actions use exactly as the plain reference reader does, and
// a key it writes reads back.
#include "IniReference.h"
#include "platform/ini.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct Key {
    const char* section;
    const char* key;
    int32_t def;
};

// Every integer key the library reads, with its default.
const Key kKeys[] = {
    {"DIAG CONTROL", "TxOff", 1},
    {"DIAG CONTROL", "Resend Diag. Command", 0},
    {"DIAG CONTROL", "Resend Interval Time", 200},
    {"DIAG CONTROL", "Throw  Diag. Exception", 1},
    {"AFC-COMMON", "PCL", 10},
    {"AFC-COMMON", "TCH", 62},
    {"CRYSTAL_VT300", "Default CDAC", 3},
    {"CRYSTAL_VT300", "Default CAFC", 4000},
    {"CRYSTAL_VT300", "Next CAFC Distance", 1000},
    {"CRYSTAL_VT300", "Freq. Offset Limit", 20000},
    {"CRYSTAL_VT300", "Max CAFC Slope", 16},
    {"CRYSTAL_VT300", "Min CAFC Slope", 4},
    {"CRYSTAL_VT300", "Freq. Error Limit", 13000},
    {"CRYSTAL_VT318", "Default CDAC", 55},
    {"CRYSTAL_VT318", "Default CAFC", 7000},
    {"CRYSTAL_VT318", "CDAC    Range", 15},
    {"CRYSTAL_VT318", "CAFC    Range", 1000},
    {"CRYSTAL_VT318", "Delta   CAFC", 1000},
    {"CRYSTAL_VT318", "Slope Range", 3},
    {"LN2040 AFC", "DEFAULT_CDAC", 39},
    {"LN2040 AFC", "DEFAULT_CDAC_STEP", 4},
    {"LN2040 AFC", "CALI_CDAC_MIN", 32},
    {"LN2040 AFC", "CALI_CDAC_MAX", 47},
    {"LN2040 AFC", "DEFAULT_CAFC", 9000},
    {"LN2040 AFC", "DEFAULT_CAFC_STEP", 1500},
    {"LN2040 AFC", "CALI_CAFC_MIN", 5500},
    {"LN2040 AFC", "CALI_CAFC_MAX", 12500},
    {"LN2040 AFC", "CALI_CAFC_SLOPE_MIN", 3},
    {"LN2040 AFC", "CALI_CAFC_SLOPE_MAX", 8},
    // Names the engine must keep apart from the real ones.
    {"DIAG CONTROL", "Throw Diag. Exception", -7},
    {"Diag Control", "txoff", -1},
    {"a", "b", 5},
};

[[noreturn]] void mismatch(const char* what, const Key& k, uint32_t got, uint32_t want) {
    std::fprintf(stderr, "%s [%s] %s: engine %u, reference %u\n", what, k.section, k.key, got,
                 want);
    std::abort();
}

const std::string& scratchPath() {
    static const std::string path = "/tmp/vantor-ini-fuzz-" + std::to_string(::getpid()) + ".ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<reference::Entry> entries = reference::parse(text);
    for (const Key& k : kKeys) {
        uint32_t got = ini::ReadInt(text, k.section, k.key, k.def);
        uint32_t want = reference::readInt(entries, k.section, k.key, k.def);
        if (got != want)
            mismatch("ReadInt", k, got, want);
    }

    // The same through the file, as the actions read it.
    if (FILE* f = std::fopen(scratchPath().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        for (size_t i = 0; i < 3; ++i) {
            const Key& k = kKeys[(i * 5 + size) % (sizeof kKeys / sizeof kKeys[0])];
            uint32_t got = platform::ProfileInt(k.section, k.key, k.def, scratchPath().c_str());
            uint32_t want = reference::readInt(entries, k.section, k.key, k.def);
            if (got != want)
                mismatch("ProfileInt", k, got, want);
        }
    }

    // The string reader and the writer never crash; a written key reads back.
    const Key& w = kKeys[size % (sizeof kKeys / sizeof kKeys[0])];
    (void)ini::ReadString(text, w.section, w.key, "default");
    std::string written = ini::WriteKey(text, w.section, w.key, "12345");
    uint32_t back = ini::ReadInt(written, w.section, w.key, w.def);
    if (back != 12345u)
        mismatch("WriteKey round trip", w, back, 12345u);
    return 0;
}
