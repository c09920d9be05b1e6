// VT318: a coarse CDAC search (up to three attempts) and a fine CAFC step.
#pragma once

#include "common/AfcActionBase.h"

class CVt318 : public CAfcActionBase {
public:
    CVt318() = default;
    ~CVt318() override = default;

    // The name in its messages and lines.
    static constexpr const char kShortName[] = "VT318_AFC";
    // Its result lines, in the order it sends them.
    static constexpr vantor::NvField kResultLines[] = {vantor::NvField::Cdac, vantor::NvField::Cafc,
                                                       vantor::NvField::SlopeLength};

    const char* GetName() const override { return kShortName; }
    void LoadKeys(const platform::ProfileFile& file) override;
    int DoAction() override;
    int ReportAfcResult() override;

    // The attempts a run may make, each at a CAFC 1000 above the last.
    static constexpr int kMaxAttempts = 3;

    uint16_t m_defaultCdac = static_cast<uint16_t>(config::Default(config::Vt318::DefaultCdac));
    uint16_t m_defaultCafc = static_cast<uint16_t>(config::Default(config::Vt318::DefaultCafc));
    int32_t m_cdacRange = config::Default(config::Vt318::CdacRange);
    int32_t m_cafcRange = config::Default(config::Vt318::CafcRange);
    uint16_t m_deltaCafc = static_cast<uint16_t>(config::Default(config::Vt318::DeltaCafc));
    int32_t m_slopeRange = config::Default(config::Vt318::SlopeRange);

private:
    void Calibrate();
};
