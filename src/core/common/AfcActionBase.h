// The base of the AFC chip actions: PFER measurement, the DoAction frame and
// the result tail that stores, flashes and reports the calibration.
#pragma once

#include "ActionBase.h"
#include "ReportVocabulary.h"
#include "chips/ChipLimits.h"

#include <cstdint>
#include <functional>
#include <iterator>

namespace vantor {

// The PFER line: 17 columns, the value in column 14 and the unit in 16.
// Written over *line, whose capacity is reused.
void FormatPferLine(std::string* line, const char* action, int counter, const char* band,
                    uint16_t channel, uint16_t pcl, int32_t hostValueD, uint16_t hostWordA,
                    uint16_t hostWordB, uint16_t cdac, uint16_t cafc, uint16_t hostWordC,
                    double fe);

// A result line: the NV field in column 1 and its value in column 14.
// Written over *line, whose capacity is reused.
void FormatResultLine(std::string* line, NvField field, int value);

// The value a judged item carries: the value itself, except for a result that
// fails by rule while its value lies inside the window, which must not read as
// passing beside the failed run and carries NaN.
double JudgedValue(double value, bool fails, double low, double high);

} // namespace vantor

class CAfcActionBase : public CActionBase {
public:
    CAfcActionBase() = default;

    virtual double MeasurePfer();
    virtual int ReportAfcResult() { return 1; }

    uint16_t Pcl() const { return m_pcl; }
    uint16_t Tch() const { return m_tch; }

    // The pause between two measurement points, in milliseconds.
    static constexpr uint32_t kPointPause = 200;

protected:
    // Runs the DoAction frame around the chip's algorithm: the DoAction
    // start, the guards, the pre-RF step, the RF tester set-up, the
    // algorithm, and the closing item on success and on every failure.
    int RunFrame(const std::function<void()>& algorithm);

    // Loads the chip's settings by its table; "PCL" and "TCH" of "AFC-COMMON"
    // are the base's too.
    template <class Settings>
    Settings LoadSettings(const platform::ProfileFile& file, config::Facts table) {
        Settings s = config::Load<Settings>(table, file);
        m_pcl = s.pcl;
        m_tch = s.tch;
        return s;
    }

    // Reports a judged item (kind judged, level 1) and returns its verdict:
    // inside [low, high] and not failed by a rule of the chip.
    bool Judge(const char* name, double low, double value, double high, const char* unit,
               bool failsByRule = false);

    // Calibration record access.
    uint16_t RecordU16(int offset) const;
    void SetRecordU16(int offset, uint16_t value);
    void SetMeasurementPoint(uint16_t cdac, uint16_t cafc);
    void SetMeasurementCdac(uint16_t cdac);
    void SetMeasurementCafc(uint16_t cafc);

    // The result tail: store the three results in the record, write them to
    // flash (resending the whole sequence once when so configured), report
    // "Save params" and the result lines.
    void StoreResults(uint16_t cafc, uint16_t cdac, uint16_t slopeLength);
    void FlashResults();
    // The result lines in the given order of fields.
    int ReportResultLines(const vantor::NvField* order, size_t count);

    void PausePoint();

    uint16_t m_pcl = static_cast<uint16_t>(config::kAfcCommonPcl.actionDefault);
    uint16_t m_tch = static_cast<uint16_t>(config::kAfcCommonTch.actionDefault);

private:
    int WriteFlashSequence();
    void SendClosingItem();
};
