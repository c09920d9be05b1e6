// The calls the suites repeat around an action: its parameter block, the
// action made ready through a host library (capturing targets and an RF
// tester), and a call whose CCFTException is caught and read.
#pragma once

#include "Capture.h"
#include "OmraHost.h"
#include "Triple.h"
#include "omra/omra.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace testing_support {

// A parameter block for the configuration file (and calibration record).
inline ACTION_PARAM ParamBlock(const std::string& path, int32_t chipType = 1, int32_t band = 1,
                               unsigned char* record = nullptr) {
    ACTION_PARAM p;
    std::memset(&p, 0, sizeof p);
    p.chipType = chipType;
    p.band = band;
    p.calibrationRecord = record;
    std::snprintf(p.configPath, sizeof p.configPath, "%s", path.c_str());
    return p;
}

// What a call did: what it returned, or the CCFTException it threw (read and
// deleted), and the library's last triple after it.
struct Outcome {
    bool threw = false;
    int64_t returned = -1;
    std::string message;
    std::string fullText;
    Triple triple;
};

template <typename Call> Outcome Catching(Call call) {
    Outcome o;
    try {
        o.returned = static_cast<int64_t>(call());
    } catch (CCFTException* e) {
        o.threw = true;
        o.message = e->GetMessageText();
        o.fullText = e->GetFullText();
        delete e;
    }
    o.triple = LastTriple();
    return o;
}

// A new action with the capturing result and log targets and the RF tester
// (an object or a table, as `kind` says); null when it cannot be made.
inline OMRA_HANDLE ReadyAction(const host::Library& lib, uint32_t id, void* rfTester,
                               uint32_t kind = OMRA_DRIVER_KIND_OBJECT) {
    OMRA_HANDLE a = lib.CreateAction(id, 0);
    EXPECT_NE(nullptr, a) << "action " << id;
    if (a == nullptr)
        return nullptr;
    NOTIFY_TARGET items = ItemTarget();
    NOTIFY_TARGET lines = LineTarget();
    EXPECT_EQ(0u, lib.SetCallBack(a, OMRA_CALLBACK_RESULT, &items));
    EXPECT_EQ(0u, lib.SetCallBack(a, OMRA_CALLBACK_LOG, &lines));
    EXPECT_EQ(0u, lib.SetDriver(a, OMRA_DRIVER_RFTESTER, kind, rfTester));
    return a;
}

} // namespace testing_support
