// The host family's last-error store: one slot per error type.
#define ERRORCODE_BUILD
#include "omra/errorcode.h"

namespace {

struct Slot {
    ERROR_TRIPLE triple;
    uint32_t value; // encoded triple, 0 while the slot is empty
    uint32_t sequence;
};

struct Store {
    Slot slots[ERRORCODE_TYPES];
    uint32_t sequence;
};

// The store is process-wide by nature: every component of the host shares it.
Store& store() {
    static Store s{};
    return s;
}

E_ERR_TYPE typeOf(E_MODULE_TYPE module) {
    switch (module) {
    case E_MODULE_RFTESTER:
        return E_ERR_RFTESTER;
    case E_MODULE_ACTION:
        return E_ERR_ACTION;
    default:
        return E_ERR_OTHER;
    }
}

bool validType(E_ERR_TYPE type) {
    return static_cast<int>(type) >= 0 && static_cast<int>(type) < ERRORCODE_TYPES;
}

const Slot* latest() {
    const Slot* best = nullptr;
    for (int t = 1; t < ERRORCODE_TYPES; ++t) {
        const Slot& s = store().slots[t];
        if (s.value != 0 && (best == nullptr || s.sequence > best->sequence))
            best = &s;
    }
    return best;
}

const Slot* slotOf(E_ERR_TYPE type) {
    if (!validType(type))
        return nullptr;
    if (type == E_ERR_ANY)
        return latest();
    const Slot& s = store().slots[type];
    return s.value != 0 ? &s : nullptr;
}

} // namespace

extern "C" {

uint32_t ERRORCODE_CALL Spec_SetErrorCode(E_MODULE_TYPE module, uint32_t operation, uint32_t code,
                                          int32_t extra) {
    Store& st = store();
    uint32_t value =
        (static_cast<uint32_t>(module) << 24) | ((operation & 0xFFFu) << 12) | (code & 0xFFFu);
    if (value == 0)
        value = 0xFFFFFFFFu; // the result must never read as success
    Slot& s = st.slots[typeOf(module)];
    s.triple = ERROR_TRIPLE{static_cast<uint32_t>(module), operation, code, extra};
    s.value = value;
    s.sequence = ++st.sequence;
    return value;
}

void ERRORCODE_CALL Spec_ClearErrorCode(E_ERR_TYPE type) {
    if (!validType(type))
        return;
    Store& st = store();
    if (type == E_ERR_ANY) {
        for (Slot& s : st.slots)
            s = Slot{};
        return;
    }
    st.slots[type] = Slot{};
}

uint32_t ERRORCODE_CALL Spec_GetError(E_ERR_TYPE type) {
    const Slot* s = slotOf(type);
    return s != nullptr ? s->value : 0;
}

int32_t ERRORCODE_CALL ErrorCode_GetLast(E_ERR_TYPE type, ERROR_TRIPLE* triple) {
    const Slot* s = slotOf(type);
    if (s == nullptr)
        return 0;
    if (triple != nullptr)
        *triple = s->triple;
    return 1;
}

uint32_t ERRORCODE_CALL ErrorCode_SetCount(void) {
    return store().sequence;
}
}
