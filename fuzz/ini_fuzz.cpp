// Any bytes as a configuration file: the engine never crashes, reads every
// integer key the actions use exactly as the plain reference reader does, and
// a key it writes reads back.
#include "IniReference.h"
#include "core/chips/ChipRegistry.h"
#include "core/common/ConfigTable.h"
#include "platform/ini.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Key {
    const char* section;
    const char* key;
    int32_t def;
};

// Every integer key the library reads, with its default, and names the
// engine must keep apart from the real ones.
std::vector<Key> allKeys() {
    std::vector<Key> keys;
    for (const config::Facts& table : vantor::ConfigTables())
        for (const config::KeyFact& f : table)
            keys.push_back({f.section, f.key, f.actionDefault});
    keys.push_back({"DIAG CONTROL", "Throw Diag. Exception", -7});
    keys.push_back({"Diag Control", "txoff", -1});
    keys.push_back({"a", "b", 5});
    return keys;
}
const std::vector<Key> kKeys = allKeys();

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
            const Key& k = kKeys[(i * 5 + size) % kKeys.size()];
            uint32_t got = platform::ProfileInt(k.section, k.key, k.def, scratchPath().c_str());
            uint32_t want = reference::readInt(entries, k.section, k.key, k.def);
            if (got != want)
                mismatch("ProfileInt", k, got, want);
        }
    }

    // The string reader and the writer never crash; a written key reads back.
    const Key& w = kKeys[size % kKeys.size()];
    (void)ini::ReadString(text, w.section, w.key, "default");
    std::string written = ini::WriteKey(text, w.section, w.key, "12345");
    uint32_t back = ini::ReadInt(written, w.section, w.key, w.def);
    if (back != 12345u)
        mismatch("WriteKey round trip", w, back, 12345u);
    return 0;
}
