// LN2040 calibration in two stages of two measurements each. The CDAC stage
// steps DEFAULT_CDAC_STEP from DEFAULT_CDAC against the sign of the first
// error and extrapolates the CDAC that cancels it, judged against
// CALI_CDAC_MIN to CALI_CDAC_MAX. The CAFC stage measures DEFAULT_CAFC_STEP
// either side of DEFAULT_CAFC: the slope is judged against the slope window
// and the extrapolated CAFC against CALI_CAFC_MIN to CALI_CAFC_MAX. A flat or
// broken slope fails its window whatever the window holds.

#include "LN2040.h"

#include "common/Convert.h"
#include "platform/platform.h"

void CLN2040::LoadKeys(const platform::ProfileFile& file) {
    using config::Ln2040;
    LoadCommonSection(file, config::kLn2040Facts);
    auto read = [&](Ln2040 key) { return static_cast<int32_t>(config::Read(file, key)); };
    m_defaultCdac = read(Ln2040::DefaultCdac);
    m_defaultCdacStep = read(Ln2040::DefaultCdacStep);
    m_caliCdacMin = read(Ln2040::CaliCdacMin);
    m_caliCdacMax = read(Ln2040::CaliCdacMax);
    m_defaultCafc = read(Ln2040::DefaultCafc);
    m_defaultCafcStep = read(Ln2040::DefaultCafcStep);
    m_caliCafcMin = read(Ln2040::CaliCafcMin);
    m_caliCafcMax = read(Ln2040::CaliCafcMax);
    m_caliCafcSlopeMin = read(Ln2040::CaliCafcSlopeMin);
    m_caliCafcSlopeMax = read(Ln2040::CaliCafcSlopeMax);
}

int CLN2040::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CLN2040::Calibrate() {
    // The CDAC stage.
    SetMeasurementPoint(static_cast<uint16_t>(m_defaultCdac), static_cast<uint16_t>(m_defaultCafc));
    double fe0 = MeasurePfer();
    PausePoint();
    long long d = fe0 > 0 ? -static_cast<long long>(m_defaultCdacStep) : m_defaultCdacStep;
    SetMeasurementCdac(static_cast<uint16_t>(m_defaultCdac + d));
    double fe1 = MeasurePfer();
    PausePoint();

    double cdacSlope = (fe1 - fe0) / static_cast<double>(d);
    ReportValue("CDAC Slope", 0, cdacSlope, 0, "Slope", OMRA_KIND_INFO, 1);
    uint16_t cdac = conv::fix16(m_defaultCdac - fe0 / cdacSlope);
    SetMeasurementCdac(cdac);
    // A flat characteristic gives no CDAC, whatever the window holds.
    const bool flat = conv::degenerateSlope(cdacSlope);
    if (!Judge("CDAC", m_caliCdacMin, cdac, m_caliCdacMax, "CDAC", flat)) {
        OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0, "CDAC %d Exceed Range [%d, %d]!",
                  cdac, m_caliCdacMin, m_caliCdacMax);
    }

    // The CAFC stage, at the CDAC just found.
    const long long lowerPoint = static_cast<long long>(m_defaultCafc) - m_defaultCafcStep;
    SetMeasurementCafc(static_cast<uint16_t>(lowerPoint));
    double fe2 = MeasurePfer();
    PausePoint();
    SetMeasurementCafc(
        static_cast<uint16_t>(static_cast<long long>(m_defaultCafc) + m_defaultCafcStep));
    double fe3 = MeasurePfer();

    // Hz per CAFC code across the two points, twice the step apart; a flat
    // slope gives no CAFC.
    double slope = (fe3 - fe2) / (2.0 * static_cast<double>(m_defaultCafcStep));
    const bool flatSlope = conv::degenerateSlope(slope);
    if (!Judge("CAFC Slope", m_caliCafcSlopeMin, slope, m_caliCafcSlopeMax, nullptr, flatSlope)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "CAFC Slope: %.2f Exceed Range [%d, %d]!",
                  slope, m_caliCafcSlopeMin, m_caliCafcSlopeMax);
    }

    uint16_t slopeLength = conv::fix16(32768.0 / slope);
    ReportValue("Slope Length", 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::fix16(static_cast<double>(lowerPoint) - fe2 / slope);
    SetMeasurementCafc(cafc);
    // The CAFC that cancels the lower point's error, from that point.
    if (!Judge("CAFC", m_caliCafcMin, cafc, m_caliCafcMax, "CAFC")) {
        OMRA_FAIL(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0,
                  "CAFC Range: %d Exceed Range [%d, %d]!", cafc, m_caliCafcMin, m_caliCafcMax);
    }
    StoreResults(cafc, cdac, slopeLength);
    FlashResults();
}

int CLN2040::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}
