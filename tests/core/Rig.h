// A test bench for actions in-process: a simulated handset behind
// PhoneCommand, a simulated RF tester, a calibration record, a configuration
// file and function targets capturing what the host receives.
#pragma once

#include "Capture.h"
#include "ExportCall.h"
#include "HostSleep.h"
#include "Simulator.h"
#include "TempFile.h"
#include "Triple.h"
#include "common/ActionBase.h"
#include "common/CalRecord.h"
#include "omra/errorcode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rig {

using testing_support::LastTriple;
using testing_support::Triple;

inline Triple T(uint32_t op, uint32_t code, int32_t extra = 0) {
    return testing_support::ActionTriple(op, code, extra);
}

// A file in the working folder, removed when the test ends.
using testing_support::TempFile;

using RunResult = testing_support::Outcome;

class Bench {
public:
    explicit Bench(sim::CrystalParams crystal = sim::NominalCrystal(sim::Chip::VT318),
                   uint64_t seed = 1)
        : handset(crystal, seed, &log), rf(&handset, &log), record(8192, 0) {
        handset.Attach();
        testing_support::Capture().Clear();
        testing_support::Capture().log = &log;
        testing_support::Pauses().clear();
        Spec_ClearErrorCode(E_ERR_ANY);
    }
    ~Bench() { testing_support::Capture().log = nullptr; }

    // Targets, the RF tester and the parameter block, as a host sets them.
    void Prepare(IAction* action, const std::string& config, int32_t chipType = 1,
                 int32_t band = 1) {
        m_config.reset(new TempFile(config));
        NOTIFY_TARGET items = testing_support::ItemTarget();
        NOTIFY_TARGET lines = testing_support::LineTarget();
        ASSERT_EQ(0, action->SetCallBack(1, &items));
        ASSERT_EQ(0, action->SetCallBack(2, &lines));
        ASSERT_EQ(0, action->SetDriver(2, 1, static_cast<IRfTester*>(&rf)));
        ACTION_PARAM p =
            testing_support::ParamBlock(m_config->Path(), chipType, band, record.data());
        ASSERT_EQ(0, action->InitAction(&p));
        log.Clear();
        testing_support::Capture().items.clear();
        testing_support::Capture().lines.clear();
        testing_support::Pauses().clear();
    }

    RunResult Run(IAction* action) {
        return testing_support::Catching([&] { return action->DoAction(); });
    }

    uint16_t U16(int offset) const { return calrec::ReadU16(record.data(), offset); }
    int16_t S16(int offset) const { return calrec::ReadS16(record.data(), offset); }

    const std::vector<testing_support::Item>& Items() const {
        return testing_support::Capture().items;
    }
    const std::vector<std::string>& Lines() const { return testing_support::Capture().lines; }
    const std::vector<uint32_t>& Pauses() const { return testing_support::Pauses(); }

    // The (CDAC, CAFC) of every AFC "on" command, in order.
    std::vector<std::pair<unsigned, unsigned>> Points() const {
        std::vector<std::pair<unsigned, unsigned>> pts;
        for (const std::string& e : log.Entries()) {
            unsigned pcl, ch, cdac, cafc;
            if (std::sscanf(e.c_str(), "HT_AfcStart_MChip(1,{%u,%u,%u,%u})", &pcl, &ch, &cdac,
                            &cafc) == 4)
                pts.emplace_back(cdac, cafc);
        }
        return pts;
    }

    // Entries of the call log that start with the prefix.
    std::vector<std::string> Entries(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : log.Entries())
            if (e.compare(0, prefix.size(), prefix) == 0)
                out.push_back(e);
        return out;
    }

    sim::CallLog log;
    sim::Handset handset;
    sim::RfTester rf;
    std::vector<unsigned char> record;

private:
    std::unique_ptr<TempFile> m_config;
};

} // namespace rig
