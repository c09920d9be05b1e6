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
    m_settings = LoadSettings<Settings>(file, kFacts);
    m_windows = Windows(m_settings);
}

int CLN2040::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CLN2040::Calibrate() {
    using namespace vantor;
    const Settings& s = m_settings;
    const int cdacLow = static_cast<int>(m_windows.cdac.low);
    const int cdacHigh = static_cast<int>(m_windows.cdac.high);
    const int cafcLow = static_cast<int>(m_windows.cafc.low);
    const int cafcHigh = static_cast<int>(m_windows.cafc.high);
    const int slopeLow = static_cast<int>(m_windows.slope.low);
    const int slopeHigh = static_cast<int>(m_windows.slope.high);
    // The CDAC stage.
    SetMeasurementPoint(static_cast<uint16_t>(s.defaultCdac), static_cast<uint16_t>(s.defaultCafc));
    double fe0 = MeasurePfer();
    PausePoint();
    long long d = fe0 > 0 ? -static_cast<long long>(s.defaultCdacStep) : s.defaultCdacStep;
    SetMeasurementCdac(static_cast<uint16_t>(s.defaultCdac + d));
    double fe1 = MeasurePfer();
    PausePoint();

    double cdacSlope = (fe1 - fe0) / static_cast<double>(d);
    ReportValue(kItemCdacSlope, 0, cdacSlope, 0, "Slope", OMRA_KIND_INFO, 1);
    uint16_t cdac = conv::fix16(s.defaultCdac - fe0 / cdacSlope);
    SetMeasurementCdac(cdac);
    // A flat characteristic gives no CDAC, whatever the window holds.
    const bool flat = conv::degenerateSlope(cdacSlope);
    if (!Judge(kItemCdac, cdacLow, cdac, cdacHigh, "CDAC", flat)) {
        OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0, "CDAC %d Exceed Range [%d, %d]!",
                  cdac, cdacLow, cdacHigh);
    }

    // The CAFC stage, at the CDAC just found.
    const long long lowerPoint = static_cast<long long>(s.defaultCafc) - s.defaultCafcStep;
    SetMeasurementCafc(static_cast<uint16_t>(lowerPoint));
    double fe2 = MeasurePfer();
    PausePoint();
    SetMeasurementCafc(
        static_cast<uint16_t>(static_cast<long long>(s.defaultCafc) + s.defaultCafcStep));
    double fe3 = MeasurePfer();

    // Hz per CAFC code across the two points, twice the step apart; a flat
    // slope gives no CAFC.
    double slope = (fe3 - fe2) / (2.0 * static_cast<double>(s.defaultCafcStep));
    const bool flatSlope = conv::degenerateSlope(slope);
    if (!Judge(kItemCafcSlope, slopeLow, slope, slopeHigh, nullptr, flatSlope)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "CAFC Slope: %.2f Exceed Range [%d, %d]!",
                  slope, slopeLow, slopeHigh);
    }

    uint16_t slopeLength = conv::fix16(32768.0 / slope);
    ReportValue(kItemSlopeLength, 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::fix16(static_cast<double>(lowerPoint) - fe2 / slope);
    SetMeasurementCafc(cafc);
    // The CAFC that cancels the lower point's error, from that point.
    if (!Judge(kItemCafc, cafcLow, cafc, cafcHigh, "CAFC")) {
        OMRA_FAIL(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0,
                  "CAFC Range: %d Exceed Range [%d, %d]!", cafc, cafcLow, cafcHigh);
    }
    StoreResults(cafc, cdac, slopeLength);
    FlashResults();
}

int CLN2040::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}

vantor::ChipWindows CLN2040::Windows(const Settings& s) {
    vantor::ChipWindows w;
    w.cdac = vantor::MakeSpan(s.caliCdacMin, s.caliCdacMax);
    w.cafc = vantor::MakeSpan(s.caliCafcMin, s.caliCafcMax);
    w.slope = vantor::MakeSpan(s.caliCafcSlopeMin, s.caliCafcSlopeMax);
    return w;
}

vantor::ChipLimits CLN2040::Limits(const Settings& s) {
    using vantor::SpanText;
    vantor::ChipLimits l;
    const vantor::ChipWindows w = Windows(s);
    vantor::JudgedWindow(&l, w.cdac, "the CDAC");
    vantor::JudgedWindow(&l, w.cafc, "the CAFC");
    vantor::JudgedWindow(&l, w.slope, "the CAFC slope");
    if (w.cdac.low <= 0 && w.cdac.low <= w.cdac.high)
        vantor::Warn(&l,
                     "the CDAC window " + SpanText(w.cdac.low, w.cdac.high) +
                         " holds 0, the CDAC of a crystal whose CDAC step does not pull: such a "
                         "unit goes on with CDAC 0");
    vantor::SlopeWindowHoldsZero(&l, w.slope);
    vantor::CafcWindowHoldsZero(&l, w.cafc, 0);
    if (s.defaultCafcStep == 0)
        vantor::Warn(&l,
                     "DEFAULT_CAFC_STEP is 0: both CAFC points coincide and every run fails the "
                     "slope check");
    if (s.defaultCdacStep == 0)
        vantor::Warn(&l, "DEFAULT_CDAC_STEP is 0: both CDAC points coincide and no CDAC can be "
                         "computed");
    l.windows = w;
    return l;
}
