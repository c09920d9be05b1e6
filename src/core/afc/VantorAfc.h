// VT300: two CAFC points at the configured CDAC give the slope and the CAFC.
#pragma once

#include "common/AfcActionBase.h"

class CVantorAfc : public CAfcActionBase {
public:
    CVantorAfc() = default;
    ~CVantorAfc() override = default;

    const char* GetName() const override { return "VT300_AFC"; }
    int LoadAdjustConfig(const char* path) override;
    int DoAction() override;
    int ReportAfcResult() override;

    uint16_t m_defaultCdac = 3;
    uint16_t m_defaultCafc = 4000;
    uint16_t m_nextCafcDistance = 1000;
    double m_freqOffsetLimit = 20000;
    uint16_t m_maxCafcSlope = 16;
    uint16_t m_minCafcSlope = 4;
    double m_freqErrorLimit = 13000;

private:
    void Calibrate();
};
