// VT318 calibration. Each attempt measures at Default CDAC and 8 below it at
// the attempt's CAFC; the CDAC that cancels the error must lie within Default
// CDAC plus or minus CDAC Range and within the bank (0 to 63), else the next
// attempt starts 1000 CAFC codes higher. The fine step then measures Delta
// CAFC either side of the attempt's CAFC: the slope must lie within 7 plus or
// minus Slope Range and the CAFC within the attempt's CAFC plus or minus CAFC
// Range. A flat or broken slope fails its window whatever the window holds.
// The windows are judged in this order, each failing run with its own triple.

#include "Vt318.h"

#include "common/Convert.h"
#include "platform/platform.h"

#include <cmath>

void CVt318::LoadKeys(const platform::ProfileFile& file) {
    using config::Vt318;
    LoadCommonSection(file, config::kVt318Facts);
    m_defaultCdac = static_cast<uint16_t>(config::Read(file, Vt318::DefaultCdac));
    m_defaultCafc = static_cast<uint16_t>(config::Read(file, Vt318::DefaultCafc));
    m_cdacRange = static_cast<int32_t>(config::Read(file, Vt318::CdacRange));
    m_cafcRange = static_cast<int32_t>(config::Read(file, Vt318::CafcRange));
    m_deltaCafc = static_cast<uint16_t>(config::Read(file, Vt318::DeltaCafc));
    m_slopeRange = static_cast<int32_t>(config::Read(file, Vt318::SlopeRange));
}

int CVt318::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CVt318::Calibrate() {
    SetRecordU16(OMRA_CAL_MEAS_PCL, m_pcl);
    SetRecordU16(OMRA_CAL_CHANNEL, m_tch);
    uint16_t attemptCafc = m_defaultCafc;
    int attempts = 0;
    uint16_t cdac = 0;
    const long long cdacLow = static_cast<long long>(m_defaultCdac) - m_cdacRange;
    const long long cdacHigh = static_cast<long long>(m_defaultCdac) + m_cdacRange;
    for (;;) {
        SetMeasurementCafc(attemptCafc);
        SetMeasurementCdac(m_defaultCdac);
        double feA = MeasurePfer();
        PausePoint();
        SetMeasurementCdac(static_cast<uint16_t>(m_defaultCdac - 8));
        double feB = MeasurePfer();
        PausePoint();
        ++attempts;

        double cdacSlope = (feA - feB) * 0.125;
        ReportValue("CDAC Slope", 0, cdacSlope, 0, nullptr, OMRA_KIND_INFO, 3);
        cdac = conv::trunc16(m_defaultCdac - feA / cdacSlope);
        // A flat characteristic gives no CDAC: the attempt misses its window.
        if (!Judge("CDAC", static_cast<double>(cdacLow), cdac, static_cast<double>(cdacHigh),
                   "CDAC", conv::degenerateSlope(cdacSlope))) {
            if (attempts < kMaxAttempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + 1000);
                continue;
            }
            OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0,
                      "CDAC %d Exceed Range [%lld, %lld]!", cdac, cdacLow, cdacHigh);
        }
        // Inside the window, the CDAC must still be one the bank has.
        if (!Judge("CDAC", 0, cdac, 63, "CDAC")) {
            if (attempts < kMaxAttempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + 1000);
                continue;
            }
            OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0, "CDAC %d Exceed Range [%d, %d]!",
                      cdac, 0, 63);
        }
        break;
    }

    SetMeasurementCdac(cdac);
    SetMeasurementCafc(static_cast<uint16_t>(attemptCafc - m_deltaCafc));
    double feC = MeasurePfer();
    PausePoint();
    const uint16_t upperPoint = static_cast<uint16_t>(attemptCafc + m_deltaCafc);
    SetMeasurementCafc(upperPoint);
    double feD = MeasurePfer();
    if (m_deltaCafc == 0) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "CAFC Slope is zero!");
    }

    // Hz per CAFC code between the two fine points, judged against 7 plus or
    // minus Slope Range; a flat slope gives no CAFC, so it fails whatever the
    // window holds.
    double slope = (feD - feC) / (2.0 * m_deltaCafc);
    const long long slopeLow = 7LL - m_slopeRange;
    const long long slopeHigh = 7LL + m_slopeRange;
    const bool flat = conv::degenerateSlope(slope);
    if (!Judge("CAFC Slope", static_cast<double>(slopeLow), slope, static_cast<double>(slopeHigh),
               nullptr, flat)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0,
                  "CAFC Slope: %.2f Exceed Range [%lld, %lld]!", slope, slopeLow, slopeHigh);
    }
    uint16_t slopeLength = conv::trunc16(32768.0 / slope);
    ReportValue("Slope Length", 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::trunc16(upperPoint - feD / slope);
    SetMeasurementCafc(cafc);

    // The CAFC window is centred on the attempt's CAFC, not on Default CAFC.
    const long long cafcLow = static_cast<long long>(attemptCafc) - m_cafcRange;
    const long long cafcHigh = static_cast<long long>(attemptCafc) + m_cafcRange;
    if (!Judge("CAFC", static_cast<double>(cafcLow), cafc, static_cast<double>(cafcHigh), "CAFC")) {
        OMRA_FAIL(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0,
                  "CAFC Range: %d Exceed Range [%lld, %lld]!", cafc, cafcLow, cafcHigh);
    }
    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), slopeLength);
    FlashResults();
}

int CVt318::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}
