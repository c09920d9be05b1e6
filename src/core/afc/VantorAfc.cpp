// VT300 calibration. The first point at Default CDAC and Default CAFC must
// lie within the frequency offset limit; the second, Next CAFC Distance away
// against the sign of the error, gives the slope in Hz per CAFC code, judged
// in whole codes. The CAFC that cancels the error is written to flash only
// if the slope times the CAFC headroom either side (0 and 8191) reaches the
// frequency error limit.
#include "VantorAfc.h"

#include "common/Convert.h"
#include "platform/platform.h"

#include <cmath>

void CVantorAfc::LoadKeys(const platform::ProfileFile& file) {
    using config::Vt300;
    LoadCommonSection(file, config::kVt300Facts);
    m_defaultCdac = static_cast<uint16_t>(config::Read(file, Vt300::DefaultCdac));
    m_defaultCafc = static_cast<uint16_t>(config::Read(file, Vt300::DefaultCafc));
    m_nextCafcDistance = static_cast<uint16_t>(config::Read(file, Vt300::NextCafcDistance));
    m_freqOffsetLimit = config::Read(file, Vt300::FreqOffsetLimit);
    m_maxCafcSlope = static_cast<uint16_t>(config::Read(file, Vt300::MaxCafcSlope));
    m_minCafcSlope = static_cast<uint16_t>(config::Read(file, Vt300::MinCafcSlope));
    m_freqErrorLimit = config::Read(file, Vt300::FreqErrorLimit);
}

int CVantorAfc::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CVantorAfc::Calibrate() {
    SetMeasurementPoint(m_defaultCdac, m_defaultCafc);
    double fe0 = MeasurePfer();
    double offsetLimit = std::fabs(m_freqOffsetLimit);
    if (!(std::fabs(fe0) <= offsetLimit)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_PFER_RANGE, 0,
                  "PFER out-of-range! %4.2f. |Limit|: %4.2f, CDAC: %d, CAFC: %d", fe0, offsetLimit,
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

    // The slope is judged rounded to whole codes; one from which no CAFC
    // follows is never judged as passing.
    const bool flat = conv::degenerateSlope(slope);
    if (!Judge("Slope", m_minCafcSlope, s, m_maxCafcSlope, nullptr, flat)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "Too big CAFC slope! %d. [%d, %d]", s,
                  m_minCafcSlope, m_maxCafcSlope);
    }
    ReportValue("CAFC", 0, cafc, 0, "10Hz/bit", OMRA_KIND_INFO, 2);
    ReportValue("CDAC", 0, m_defaultCdac, 0, "CDAC", OMRA_KIND_INFO, 3);

    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), conv::fix16(32767.0 / slope));

    long long limit = static_cast<long long>(m_freqErrorLimit);
    long long below = static_cast<long long>(s) * cafc;
    if (static_cast<double>(below) < m_freqErrorLimit) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "(afc * slope = %lld) < %lld!", below,
                  limit);
    }
    long long above = (8191LL - cafc) * s;
    if (static_cast<double>(above) < m_freqErrorLimit) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "((8191 - afc) * slope = %lld) < %lld!",
                  above, limit);
    }
    FlashResults();
}

int CVantorAfc::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}
