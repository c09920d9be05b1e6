// VT300: two CAFC points at the configured CDAC give the slope and the CAFC.
#pragma once

#include "common/AfcActionBase.h"

class CVantorAfc : public CAfcActionBase {
public:
    CVantorAfc() = default;
    ~CVantorAfc() override = default;

    // The name in its messages and lines.
    static constexpr const char kShortName[] = "VT300_AFC";
    // Its result lines, in the order it sends them.
    static constexpr vantor::NvField kResultLines[] = {
        vantor::NvField::SlopeLength, vantor::NvField::Cdac, vantor::NvField::Cafc};

    const char* GetName() const override { return kShortName; }
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
