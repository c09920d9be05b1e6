#include "Capture.h"

#include <cstdio>
#include <cstring>

namespace testing_support {

Captured& Capture() {
    static Captured c;
    return c;
}

int OMRA_CALL CaptureItem(void* record) {
    const RESULT_ITEM* r = static_cast<const RESULT_ITEM*>(record);
    Item item;
    std::memcpy(&item.raw, r, sizeof item.raw);
    item.name.assign(r->name, strnlen(r->name, sizeof r->name));
    item.low = r->u.num.low;
    item.value = r->u.num.value;
    item.high = r->u.num.high;
    item.unit.assign(r->unit, strnlen(r->unit, sizeof r->unit));
    item.kind = r->kind;
    item.level = r->level;
    item.pass = r->pass;
    Capture().items.push_back(item);
    if (Capture().log != nullptr)
        Capture().log->Add("ITEM " + Describe(item));
    return Capture().itemReply;
}

int OMRA_CALL CaptureLine(void* record) {
    const LOG_LINE* l = static_cast<const LOG_LINE*>(record);
    Capture().lineRecords.push_back(*l);
    std::string text(l->text, l->length);
    Capture().lines.push_back(text);
    if (Capture().log != nullptr)
        Capture().log->Add("LINE " + text);
    return Capture().lineReply;
}

NOTIFY_TARGET ItemTarget(uint32_t context1, uint32_t context2) {
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_FUNCTION;
    t.target = reinterpret_cast<uintptr_t>(&CaptureItem);
    t.context1 = context1;
    t.context2 = context2;
    return t;
}

NOTIFY_TARGET LineTarget(uint32_t context1, uint32_t context2) {
    NOTIFY_TARGET t{};
    t.kind = OMRA_TARGET_FUNCTION;
    t.target = reinterpret_cast<uintptr_t>(&CaptureLine);
    t.context1 = context1;
    t.context2 = context2;
    return t;
}

std::string Describe(const Item& item) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s|%g|%g|%g|%s|%d|%d|%d", item.name.c_str(), item.low,
                  item.value, item.high, item.unit.c_str(), item.kind, item.level, item.pass);
    return buf;
}

} // namespace testing_support
