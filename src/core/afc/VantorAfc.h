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

    using Settings = config::Vt300Settings;
    static constexpr config::Facts kFacts = config::kVt300Facts;
    // The top of the CAFC scale; the headroom either side is judged against it.
    static constexpr uint16_t kCafcScaleTop = 8191;

    // The windows its settings give, and what a check of them finds.
    static vantor::ChipWindows Windows(const Settings& s);
    static vantor::ChipLimits Limits(const Settings& s);

    const Settings& GetSettings() const { return m_settings; }

private:
    void Calibrate();

    Settings m_settings = config::Defaults<Settings>(kFacts);
    vantor::ChipWindows m_windows = Windows(m_settings);
};
