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

    using Settings = config::Vt318Settings;
    static constexpr config::Facts kFacts = config::kVt318Facts;
    // The attempts a run may make, each at a CAFC 1000 above the last.
    static constexpr int kMaxAttempts = 3;
    static constexpr long long kAttemptStep = 1000;
    // The second coarse point lies this many CDAC codes below the first.
    static constexpr int kCoarseStep = 8;
    // The centre of the slope window, in Hz per CAFC code.
    static constexpr long long kSlopeCentre = 7;

    // The windows its settings give, and what a check of them finds.
    static vantor::ChipWindows Windows(const Settings& s);
    static vantor::ChipLimits Limits(const Settings& s);

    const Settings& GetSettings() const { return m_settings; }

private:
    void Calibrate();

    Settings m_settings = config::Defaults<Settings>(kFacts);
    vantor::ChipWindows m_windows = Windows(m_settings);
};
