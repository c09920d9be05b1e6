// LN2040: a CDAC stage and a CAFC stage of two measurements each.
#pragma once

#include "common/AfcActionBase.h"

class CLN2040 : public CAfcActionBase {
public:
    CLN2040() = default;
    ~CLN2040() override = default;

    // The name in its messages and lines.
    static constexpr const char kShortName[] = "LN2040";
    // Its result lines, in the order it sends them.
    static constexpr vantor::NvField kResultLines[] = {vantor::NvField::Cdac, vantor::NvField::Cafc,
                                                       vantor::NvField::SlopeLength};

    const char* GetName() const override { return kShortName; }
    void LoadKeys(const platform::ProfileFile& file) override;
    int DoAction() override;
    int ReportAfcResult() override;

    int32_t m_defaultCdac = config::Default(config::Ln2040::DefaultCdac);
    int32_t m_defaultCdacStep = config::Default(config::Ln2040::DefaultCdacStep);
    int32_t m_caliCdacMin = config::Default(config::Ln2040::CaliCdacMin);
    int32_t m_caliCdacMax = config::Default(config::Ln2040::CaliCdacMax);
    int32_t m_defaultCafc = config::Default(config::Ln2040::DefaultCafc);
    int32_t m_defaultCafcStep = config::Default(config::Ln2040::DefaultCafcStep);
    int32_t m_caliCafcMin = config::Default(config::Ln2040::CaliCafcMin);
    int32_t m_caliCafcMax = config::Default(config::Ln2040::CaliCafcMax);
    int32_t m_caliCafcSlopeMin = config::Default(config::Ln2040::CaliCafcSlopeMin);
    int32_t m_caliCafcSlopeMax = config::Default(config::Ln2040::CaliCafcSlopeMax);

private:
    void Calibrate();
};
