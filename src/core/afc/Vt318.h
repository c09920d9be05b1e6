// VT318: a coarse CDAC search (up to three attempts) and a fine CAFC step.
#pragma once

#include "common/AfcActionBase.h"

class CVt318 : public CAfcActionBase {
public:
    CVt318() = default;
    ~CVt318() override = default;

    const char* GetName() const override { return "VT318_AFC"; }
    int LoadAdjustConfig(const char* path) override;
    int DoAction() override;
    int ReportAfcResult() override;

    // The attempts a run may make, each at a CAFC 1000 above the last.
    static constexpr int kMaxAttempts = 3;

    uint16_t m_defaultCdac = 0;
    uint16_t m_defaultCafc = 0;
    int32_t m_cdacRange = 0;
    int32_t m_cafcRange = 0;
    uint16_t m_deltaCafc = 0;
    int32_t m_slopeRange = 0;

private:
    void Calibrate();
};
