#include "AfcActionBase.h"

#include "CalRecord.h"
#include "ReportLine.h"
#include "omra/phonecommand.h"
#include "platform/platform.h"

#include <cstring>
#include <memory>
#include <limits>
using namespace vantor;

// Each line is written from its printf format, kept here as the line's
// definition: report::Format gives the bytes snprintf would make of it
// (the tests compare the two over random fields), without printf's cost
// and without a heap allocation once the line has its room.
void vantor::FormatPferLine(std::string* line, const char* action, int counter, const char* band,
                            uint16_t channel, uint16_t pcl, int32_t hostValueD, uint16_t hostWordA,
                            uint16_t hostWordB, uint16_t cdac, uint16_t cafc, uint16_t hostWordC,
                            double fe) {
    // The 16-bit fields reach the format as int: printed as unsigned values.
    const char* format = kPferLineFormat;
    // The same line object serves every measurement of the action: only
    // its first use reserves room, later lines are written over it. The
    // error value comes from a float, so its "%f" text is at most 47
    // characters; a larger double (past 1.8e13) takes printf's own path
    // and may need more room.
    report::Format(line, format, action, counter, band, channel, channel, pcl, hostValueD,
                   hostWordA, hostWordB, cdac, cafc, hostWordC, fe, kPferUnit);
}

// The three result lines differ only in the field named in column 1; the
// structure's name makes them as long as a line of the library gets.
void vantor::FormatResultLine(std::string* line, NvField field, int value) {
    // The value is the field as the record holds it, signed 16 bits.
    report::Format(line, kResultLineFormat, kNvStructName, NvFieldName(field), value);
}

double vantor::JudgedValue(double value, bool fails, double low, double high) {
    if (fails && low <= value && value <= high)
        return std::numeric_limits<double>::quiet_NaN();
    return value;
}

uint16_t CAfcActionBase::RecordU16(int offset) const {
    return calrec::ReadU16(m_calRecord, offset);
}

void CAfcActionBase::SetRecordU16(int offset, uint16_t value) {
    calrec::WriteU16(m_calRecord, offset, value);
}

void CAfcActionBase::SetMeasurementPoint(uint16_t cdac, uint16_t cafc) {
    SetRecordU16(OMRA_CAL_MEAS_PCL, m_pcl);
    SetRecordU16(OMRA_CAL_CHANNEL, m_tch);
    SetRecordU16(OMRA_CAL_MEAS_CDAC, cdac);
    SetRecordU16(OMRA_CAL_MEAS_CAFC, cafc);
}

void CAfcActionBase::SetMeasurementCdac(uint16_t cdac) {
    SetRecordU16(OMRA_CAL_MEAS_CDAC, cdac);
}

void CAfcActionBase::SetMeasurementCafc(uint16_t cafc) {
    SetRecordU16(OMRA_CAL_MEAS_CAFC, cafc);
}

void CAfcActionBase::PausePoint() {
    platform::Sleep(kPointPause);
}

double CAfcActionBase::MeasurePfer() {
    Spec_ClearErrorCode(E_ERR_ANY);
    AFC_START_BLOCK block{};
    block.pcl = RecordU16(OMRA_CAL_MEAS_PCL);
    block.channel = RecordU16(OMRA_CAL_CHANNEL);
    block.cdac = RecordU16(OMRA_CAL_MEAS_CDAC);
    block.cafc = RecordU16(OMRA_CAL_MEAS_CAFC);
    unsigned char pfer[OMRA_PFER_BLOCK_BYTES];
    std::memset(pfer, 0, sizeof pfer);

    int32_t chip = m_params.chipType;
    if (chip == 4)
        chip = 1;
    if (chip == 1 || chip == 2) {
        if (!CommandSucceeds([&] { return HT_AfcStart_MChip(1, &block); }) &&
            FailureEndsRun(OMRA_OP_PFER, OMRA_ERR_FLASH_OR_AFC, 1))
            OMRA_THROW("< %s >HT_AfcStart_MChip(TRUE) failed!", GetName());
        CallHost([&] { return m_rfTester->SetupMeasurement(OMRA_MEAS_PFER, 0, 0); });
        CallHost([&] { return m_rfTester->TriggerMeasurement(OMRA_MEAS_PFER); });
        CallHost([&] {
            return m_rfTester->ReadMeasurement(OMRA_MEAS_PFER, reinterpret_cast<intptr_t>(pfer));
        });
        if (m_txOff != 0 && !CommandSucceeds([&] { return HT_AfcStart_MChip(0, &block); }) &&
            FailureEndsRun(OMRA_OP_PFER, OMRA_ERR_FLASH_OR_AFC, 1))
            OMRA_THROW("< %s >HT_AfcStart_MChip(FALSE) failed!", GetName());
    } else if (chip != 0) {
        // Chip type 0 is measured without switching the handset's AFC mode.
        OMRA_FAIL(OMRA_OP_PFER, OMRA_ERR_CHIP_TYPE, 0, "< %s >, Invalid Chip Type: %d", GetName(),
                  m_params.chipType);
    }
    if (Spec_GetError(E_ERR_RFTESTER) != 0)
        OMRA_FAIL(OMRA_OP_PFER, OMRA_ERR_RFTESTER, 1, "< %s > (_PFER) RFTester has error occured!",
                  GetName());
    float fe32 = 0.0f;
    std::memcpy(&fe32, pfer + OMRA_PFER_FE_OFFSET, sizeof fe32);
    double fe = static_cast<double>(fe32);

    report::Format(&m_itemName, kItemMeasurementFormat, block.channel, block.pcl, block.cdac,
                   block.cafc);
    ReportValue(m_itemName.c_str(), 0.0, fe, 0.0, "Hz", OMRA_KIND_INFO, 3);
    int n = PferLineCounter()++;
    FormatPferLine(&m_text, GetName(), n, BandName(m_band), block.channel, block.pcl,
                   calrec::ReadS32(m_calRecord, OMRA_CAL_HOST_VALUE_D),
                   RecordU16(OMRA_CAL_HOST_WORD_A), RecordU16(OMRA_CAL_HOST_WORD_B), block.cdac,
                   block.cafc, RecordU16(OMRA_CAL_HOST_WORD_C), fe);
    SendLogLine(m_text.c_str(), 1);
    return fe;
}

void CAfcActionBase::SendClosingItem() {
    ReportValue(nullptr, 0.0, 0.0, 0.0, nullptr, OMRA_KIND_CLOSING, 1);
}

int CAfcActionBase::RunFrame(const std::function<void()>& algorithm) {
    CActionBase::DoAction();
    try {
        // Never a run on the built-in defaults after a failed load: the load
        // that threw left the flag set.
        if (m_configNotLoaded)
            OMRA_FAIL(OMRA_OP_DO_ACTION, OMRA_ERR_FILE_OPEN, 0,
                      "< %s >configuration file <%s> was not loaded", GetName(),
                      m_configPath.c_str());

        // A run without its driver or record would call through null.
        if (m_rfTester == nullptr)
            OMRA_FAIL(OMRA_OP_DO_ACTION, OMRA_ERR_NO_RFTESTER, 0,
                      "< %s >RF tester driver is not set", GetName());

        if (m_calRecord == nullptr)
            OMRA_FAIL(OMRA_OP_DO_ACTION, OMRA_ERR_NULL_POINTER, 0,
                      "< %s >calibration record address is null", GetName());
        PreDoRfAction(&m_params);
        CallHost([&] { return m_rfTester->SetPowerLevel(m_pcl, 0); });
        CallHost([&] { return m_rfTester->SetChannel(m_tch); });
        CallHost([&] { return m_rfTester->SetTrafficChannel(m_tch, 0); });
        algorithm();
    } catch (CCFTException* e) {
        // Held while the closing item goes out: the host's target may throw
        // its own exception instead.
        std::unique_ptr<CCFTException> failed(e);
        SendClosingItem();
        throw failed.release();
    }
    SendClosingItem();
    return 0;
}

void CAfcActionBase::StoreResults(uint16_t cafc, uint16_t cdac, uint16_t slopeLength) {
    SetRecordU16(OMRA_CAL_RESULT_CAFC, cafc);
    SetRecordU16(OMRA_CAL_RESULT_CDAC, cdac);
    SetRecordU16(OMRA_CAL_RESULT_SLOPE_LENGTH, slopeLength);
}

int CAfcActionBase::WriteFlashSequence() {
    int r = HT_WriteData_Flash_AFC_CAFC(RecordU16(OMRA_CAL_RESULT_CAFC));
    if (r != 0)
        return r;
    r = HT_WriteData_Flash_AFC_CDAC(RecordU16(OMRA_CAL_RESULT_CDAC));
    if (r != 0)
        return r;
    return HT_WriteData_Flash_AFC_slope_length(RecordU16(OMRA_CAL_RESULT_SLOPE_LENGTH));
}

void CAfcActionBase::FlashResults() {
    if (m_params.chipType != 0 && !CommandSucceeds([this] { return WriteFlashSequence(); }) &&
        FailureEndsRun(OMRA_OP_FLASH_WRITE, OMRA_ERR_FLASH_OR_AFC, 1)) {
        ReportValue(kItemSaveParams, 0.0, -1.0, 0.0, nullptr, OMRA_KIND_JUDGED, 1);
        OMRA_THROW("Write parameters into flash fail while afc calibration!");
    }
    ReportValue(kItemSaveParams, 0.0, 0.0, 0.0, nullptr, OMRA_KIND_JUDGED, 1);
    ReportAfcResult();
}

int CAfcActionBase::ReportResultLines(const NvField* order, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        int offset = order[i] == NvField::Cdac   ? OMRA_CAL_RESULT_CDAC
                     : order[i] == NvField::Cafc ? OMRA_CAL_RESULT_CAFC
                                                 : OMRA_CAL_RESULT_SLOPE_LENGTH;
        FormatResultLine(&m_text, order[i], calrec::ReadS16(m_calRecord, offset));
        SendLogLine(m_text.c_str(), 3);
    }
    return 1;
}

bool CAfcActionBase::Judge(const char* name, double low, double value, double high,
                           const char* unit, bool failsByRule) {
    ReportValue(name, low, JudgedValue(value, failsByRule, low, high), high, unit, OMRA_KIND_JUDGED,
                1);
    return !failsByRule && low <= value && value <= high;
}
