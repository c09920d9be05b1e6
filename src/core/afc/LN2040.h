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

    using Settings = config::Ln2040Settings;
    static constexpr config::Facts kFacts = config::kLn2040Facts;

    // The windows its settings give, and what a check of them finds.
    static vantor::ChipWindows Windows(const Settings& s);
    static vantor::ChipLimits Limits(const Settings& s);

    const Settings& GetSettings() const { return m_settings; }

private:
    void Calibrate();

    Settings m_settings = config::Defaults<Settings>(kFacts);
    vantor::ChipWindows m_windows = Windows(m_settings);
};
