// VT300: two CAFC points at the configured CDAC give the slope and the CAFC.
#pragma once

#include "common/AfcActionBase.h"

class CVantorAfc : public CAfcActionBase {
public:
    CVantorAfc() = default;
    ~CVantorAfc() override = default;

    const char* GetName() const override { return "VT300_AFC"; }
    void LoadKeys(const platform::ProfileFile& file) override;
    int DoAction() override;
    int ReportAfcResult() override;

    uint16_t m_defaultCdac = static_cast<uint16_t>(config::Default(config::Vt300::DefaultCdac));
    uint16_t m_defaultCafc = static_cast<uint16_t>(config::Default(config::Vt300::DefaultCafc));
    uint16_t m_nextCafcDistance =
        static_cast<uint16_t>(config::Default(config::Vt300::NextCafcDistance));
    double m_freqOffsetLimit = config::Default(config::Vt300::FreqOffsetLimit);
    uint16_t m_maxCafcSlope = static_cast<uint16_t>(config::Default(config::Vt300::MaxCafcSlope));
    uint16_t m_minCafcSlope = static_cast<uint16_t>(config::Default(config::Vt300::MinCafcSlope));
    double m_freqErrorLimit = config::Default(config::Vt300::FreqErrorLimit);

private:
    void Calibrate();
};
