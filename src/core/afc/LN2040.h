// LN2040: a CDAC stage and a CAFC stage of two measurements each.
#pragma once

#include "common/AfcActionBase.h"

class CLN2040 : public CAfcActionBase {
public:
    CLN2040() = default;
    ~CLN2040() override = default;

    const char* GetName() const override { return "LN2040"; }
    int LoadAdjustConfig(const char* path) override;
    int DoAction() override;
    int ReportAfcResult() override;

    int32_t m_defaultCdac = 39;
    int32_t m_defaultCdacStep = 4;
    int32_t m_caliCdacMin = 32;
    int32_t m_caliCdacMax = 47;
    int32_t m_defaultCafc = 9000;
    int32_t m_defaultCafcStep = 1500;
    int32_t m_caliCafcMin = 5500;
    int32_t m_caliCafcMax = 12500;
    int32_t m_caliCafcSlopeMin = 3;
    int32_t m_caliCafcSlopeMax = 8;

private:
    void Calibrate();
};
