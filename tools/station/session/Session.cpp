#include "session/Session.h"

#include "support/StationChips.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>

#if defined(_WIN32)
#define STATION_EXPORT __declspec(dllexport)
#else
#define STATION_EXPORT __attribute__((visibility("default")))
#endif

namespace station {
namespace {
// The exported sleep is one function for the process, so its clock is too.
StationClock* g_clock = nullptr;
} // namespace

void UseClock(StationClock* clock) {
    g_clock = clock;
}

} // namespace station

// The library pauses through this when the host exports it.
extern "C" STATION_EXPORT void OMRA_CALL OmraHost_Sleep(uint32_t milliseconds) {
    station::StationClock* c = station::g_clock;
    if (c != nullptr)
        c->pausesMs += milliseconds;
    if (c == nullptr || c->real)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The station is built with g++: a failed run reaches it as a g++ exception.
extern "C" STATION_EXPORT int OMRA_CALL OmraHost_GxxExceptions(void) {
    return 1;
}

namespace station {

namespace {

// The session's address travels in the two context words of each record.
NOTIFY_TARGET targetFor(Session* s, OMRA_NOTIFY_FN fn) {
    NOTIFY_TARGET t{};
    uint64_t a = reinterpret_cast<uintptr_t>(s);
    t.kind = OMRA_TARGET_FUNCTION;
    t.target = reinterpret_cast<uintptr_t>(fn);
    t.context1 = static_cast<uint32_t>(a & 0xFFFFFFFFu);
    t.context2 = static_cast<uint32_t>(a >> 32);
    return t;
}

Session* sessionOf(uint32_t context1, uint32_t context2) {
    uint64_t a = (static_cast<uint64_t>(context2) << 32) | context1;
    return reinterpret_cast<Session*>(static_cast<uintptr_t>(a));
}

std::string field(const char* s, size_t n) {
    return std::string(s, strnlen(s, n));
}

} // namespace

Session::~Session() {
    Close();
}

void Session::Close() {
    if (m_action != nullptr)
        m_lib.FreeAction(m_action);
    m_action = nullptr;
    if (m_started)
        m_lib.Cleanup();
    m_started = false;
}

bool Session::Open(const std::string& path) {
    if (!m_lib.Load(path)) {
        m_error = m_lib.Error();
        return false;
    }
    std::memset(&m_info, 0, sizeof m_info);
    uint32_t r = m_lib.Startup(&m_info);
    if (r != 0) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "Omra_Startup failed (0x%08x)", r);
        m_error = buf;
        return false;
    }
    m_started = true;
    return true;
}

bool Session::Create(uint32_t actionId, sim::Chip chip) {
    m_chip = chip;
    m_action = m_lib.CreateAction(actionId, 0);
    if (m_action == nullptr) {
        ERROR_TRIPLE t{};
        ErrorCode_GetLast(E_ERR_ACTION, &t);
        m_error = "Omra_CreateAction(" + std::to_string(actionId) + ") made no action (error " +
                  std::to_string(t.module) + ", " + std::to_string(t.operation) + ", " +
                  std::to_string(t.code) + ")";
        return false;
    }
    m_itemTarget = targetFor(this, &Session::OnItem);
    m_lineTarget = targetFor(this, &Session::OnLine);
    if (m_lib.SetCallBack(m_action, OMRA_CALLBACK_RESULT, &m_itemTarget) != 0 ||
        m_lib.SetCallBack(m_action, OMRA_CALLBACK_LOG, &m_lineTarget) != 0) {
        m_error = "Omra_SetCallBack failed";
        return false;
    }
    return true;
}

bool Session::Init(int32_t chipType, int32_t band, const std::string& configPath, uint32_t rfKind) {
    m_rfKind = rfKind;
    m_record.assign(OMRA_CAL_RECORD_SIZE + 64, 0);
    ACTION_PARAM p;
    std::memset(&p, 0, sizeof p);
    p.chipType = chipType;
    p.band = band;
    p.calibrationRecord = m_record.data();
    if (configPath.size() >= sizeof p.configPath) {
        m_error = "the configuration path is longer than " +
                  std::to_string(sizeof p.configPath - 1) + " bytes";
        return false;
    }
    std::memcpy(p.configPath, configPath.data(), configPath.size());
    try {
        uint32_t r = m_lib.InitAction(m_action, &p);
        if (r != 0) {
            m_error = "Omra_InitAction returned " + std::to_string(r);
            return false;
        }
    } catch (CCFTException* e) {
        m_error = std::string("Omra_InitAction: ") + e->GetMessageText();
        delete e;
        return false;
    }
    return true;
}

int OMRA_CALL Session::OnItem(void* record) {
    const RESULT_ITEM* it = static_cast<const RESULT_ITEM*>(record);
    Session* s = sessionOf(it->context1, it->context2);
    UnitResult* r = s->m_current;
    if (r == nullptr)
        return 1;
    const char* name = it->name;
    bool numeric = it->form == OMRA_FORM_NUMERIC;
    if (numeric) {
        double v = it->u.num.value;
        const vantor::ResultItem* known = nullptr;
        const vantor::ChipRow& row = Row(s->m_chip);
        for (size_t i = 0; i < row.itemCount && known == nullptr; ++i)
            if (std::strcmp(name, row.items[i].name) == 0)
                known = &row.items[i];
        if (std::strncmp(name, vantor::kItemMeasurementPrefix,
                         sizeof vantor::kItemMeasurementPrefix - 1) == 0) {
            ++r->measurements;
        } else if (known == nullptr) {
        } else if (known->value == vantor::ResultValue::Cdac) {
            r->hasCdac = true;
            r->cdac = v;
            if (it->kind != OMRA_KIND_INFO)
                r->cdacInside = r->cdacInside && it->pass != 0;
        } else if (known->value == vantor::ResultValue::Cafc) {
            r->hasCafc = true;
            r->cafc = v;
            if (it->kind != OMRA_KIND_INFO)
                r->cafcInside = it->pass != 0;
        } else if (known->value == vantor::ResultValue::CafcSlope) {
            r->hasSlope = true;
            r->slope = v;
            r->slopeInside = it->pass != 0;
        } else if (known->value == vantor::ResultValue::CdacSlope) {
            ++r->attempts; // each coarse attempt starts its CDAC checks afresh
            r->cdacInside = true;
        }
    }
    if (!s->m_full)
        return 1;
    Item item;
    item.name = field(it->name, sizeof it->name);
    item.form = it->form;
    if (numeric) {
        item.low = it->u.num.low;
        item.value = it->u.num.value;
        item.high = it->u.num.high;
    } else {
        item.text = field(it->u.text, sizeof it->u.text);
    }
    item.unit = field(it->unit, sizeof it->unit);
    item.kind = it->kind;
    item.level = it->level;
    item.pass = it->pass;
    r->order.push_back(static_cast<long>(r->items.size()));
    r->items.push_back(std::move(item));
    return 1;
}

int OMRA_CALL Session::OnLine(void* record) {
    const LOG_LINE* l = static_cast<const LOG_LINE*>(record);
    Session* s = sessionOf(l->context1, l->context2);
    UnitResult* r = s->m_current;
    if (r == nullptr || !s->m_full)
        return 1;
    r->order.push_back(~static_cast<long>(r->lines.size()));
    r->lines.push_back({l->text != nullptr ? std::string(l->text, l->length) : std::string(),
                        l->level, s->m_clock->TotalMs() - s->m_startMs});
    return 1;
}

UnitResult Session::Run(const sim::CrystalParams& crystal, uint64_t seed, const Faults& faults,
                        StationClock* clock, bool full) {
    UnitResult r;
    std::memset(m_record.data(), 0, m_record.size()); // a fresh record for every unit
    sim::Handset handset(crystal, seed, nullptr, &clock->instruments);
    if (faults.afcCommand > 0)
        handset.FailGroupCall(sim::CommandGroup::Afc, faults.afcCommand);
    if (faults.flashCommand > 0)
        handset.FailGroupCall(sim::CommandGroup::Flash, faults.flashCommand);
    handset.Attach();
    sim::RfTester tester(&handset, nullptr, &clock->instruments);
    if (faults.rfMeasurement > 0)
        tester.FailMeasurement(faults.rfMeasurement);
    tester.biasHz = faults.testerBiasHz;
    void* driver = m_rfKind == OMRA_DRIVER_KIND_TABLE
                       ? const_cast<RFTESTER_TABLE*>(tester.Table())
                       : static_cast<void*>(static_cast<IRfTester*>(&tester));

    const double pauses0 = clock->pausesMs;
    const double instruments0 = clock->instruments.Milliseconds();
    m_current = &r;
    m_full = full;
    m_clock = clock;
    m_startMs = clock->TotalMs();
    if (m_lib.SetDriver(m_action, OMRA_DRIVER_RFTESTER, m_rfKind, driver) != 0) {
        r.message = "Omra_SetDriver refused the RF tester";
    } else {
        try {
            r.doResult = m_lib.DoAction(m_action);
            r.passed = r.doResult == 0;
        } catch (CCFTException* e) {
            r.threw = true;
            r.message = e->GetMessageText();
            r.fullText = e->GetFullText();
            delete e;
        } catch (...) {
            r.threw = true;
            r.message = "an exception other than CCFTException left Omra_DoAction";
        }
    }
    m_current = nullptr;
    if (!r.passed) {
        ERROR_TRIPLE t{};
        if (ErrorCode_GetLast(E_ERR_ACTION, &t) != 0) {
            r.hasTriple = true;
            r.triple = t;
        }
    }
    if (r.passed)
        r.ignoredFailures = handset.FailuresLeft();
    for (int i = 0; i < 3; ++i) {
        r.flashed[i] = handset.flashed[i];
        r.flash[i] = handset.flash[i];
    }
    r.pausesMs = clock->pausesMs - pauses0;
    r.instrumentMs = clock->instruments.Milliseconds() - instruments0;
    r.stationMs = r.pausesMs + r.instrumentMs;
    return r;
}

} // namespace station
