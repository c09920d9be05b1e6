#include "VantorAfc.h"

#include "common/Convert.h"
#include "platform/platform.h"

#include <cmath>

int CVantorAfc::LoadAdjustConfig(const char* path) {
    int r = CActionBase::LoadAdjustConfig(path);
    if (r != 0)
        return r;
    LoadCommonSection(path);
    const char* s = "CRYSTAL_VT300";
    m_defaultCdac = static_cast<uint16_t>(platform::ProfileInt(s, "Default CDAC", 3, path));
    m_defaultCafc = static_cast<uint16_t>(platform::ProfileInt(s, "Default CAFC", 4000, path));
    m_nextCafcDistance =
        static_cast<uint16_t>(platform::ProfileInt(s, "Next CAFC Distance", 1000, path));
    m_freqOffsetLimit = platform::ProfileInt(s, "Freq. Offset Limit", 20000, path);
    m_maxCafcSlope = static_cast<uint16_t>(platform::ProfileInt(s, "Max CAFC Slope", 16, path));
    m_minCafcSlope = static_cast<uint16_t>(platform::ProfileInt(s, "Min CAFC Slope", 4, path));
    m_freqErrorLimit = platform::ProfileInt(s, "Freq. Error Limit", 13000, path);
    return 0;
}

int CVantorAfc::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CVantorAfc::Calibrate() {
    SetMeasurementPoint(m_defaultCdac, m_defaultCafc);
    double fe0 = MeasurePfer();
    double offsetLimit = std::fabs(m_freqOffsetLimit);
    if (!(std::fabs(fe0) <= offsetLimit)) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_PFER_RANGE, 0);
        OMRA_THROW("PFER out-of-range! %4.2f. |Limit|: %4.2f, CDAC: %d, CAFC: %d", fe0, offsetLimit,
                   m_defaultCdac, m_defaultCafc);
    }
    uint16_t cafc1 = fe0 > 0 ? static_cast<uint16_t>(m_defaultCafc - m_nextCafcDistance)
                             : static_cast<uint16_t>(m_defaultCafc + m_nextCafcDistance);
    SetMeasurementCafc(cafc1);
    PausePoint();
    double fe1 = MeasurePfer();

    int distance =
        static_cast<int>(RecordU16(OMRA_CAL_MEAS_CAFC)) - static_cast<int>(m_defaultCafc);
    double slope = (fe1 - fe0) / distance;
    uint16_t s = conv::fix16(slope);
    uint16_t cafc = conv::fix16(m_defaultCafc - fe0 / slope);
    SetMeasurementCafc(cafc);

    // A slope from which no CAFC follows is never judged as passing.
    bool degenerate = conv::degenerateSlope(slope);
    ReportValue("Slope", m_minCafcSlope, JudgedValue(s, degenerate, m_minCafcSlope, m_maxCafcSlope),
                m_maxCafcSlope, nullptr, OMRA_KIND_JUDGED, 1);
    if (degenerate || s < m_minCafcSlope || s > m_maxCafcSlope) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("Too big CAFC slope! %d. [%d, %d]", s, m_minCafcSlope, m_maxCafcSlope);
    }
    ReportValue("CAFC", 0, cafc, 0, "10Hz/bit", OMRA_KIND_INFO, 2);
    ReportValue("CDAC", 0, m_defaultCdac, 0, "CDAC", OMRA_KIND_INFO, 3);

    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), conv::fix16(32767.0 / slope));

    long long limit = static_cast<long long>(m_freqErrorLimit);
    long long below = static_cast<long long>(s) * cafc;
    if (static_cast<double>(below) < m_freqErrorLimit) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("(afc * slope = %lld) < %lld!", below, limit);
    }
    long long above = (8191LL - cafc) * s;
    if (static_cast<double>(above) < m_freqErrorLimit) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("((8191 - afc) * slope = %lld) < %lld!", above, limit);
    }
    FlashResults();
}

int CVantorAfc::ReportAfcResult() {
    static const NvField order[] = {NvField::SlopeLength, NvField::Cdac, NvField::Cafc};
    return ReportResultLines(order, 3);
}
