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
    m_settings = LoadSettings<Settings>(file, kFacts);
    m_windows = Windows(m_settings);
}

int CVt318::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CVt318::Calibrate() {
    using namespace vantor;
    const Settings& s = m_settings;
    const ChipWindows& w = m_windows;
    SetRecordU16(OMRA_CAL_MEAS_PCL, m_pcl);
    SetRecordU16(OMRA_CAL_CHANNEL, m_tch);
    uint16_t attemptCafc = s.defaultCafc;
    int attempts = 0;
    uint16_t cdac = 0;
    const long long cdacLow = w.cdac.low;
    const long long cdacHigh = w.cdac.high;
    for (;;) {
        SetMeasurementCafc(attemptCafc);
        SetMeasurementCdac(s.defaultCdac);
        double feA = MeasurePfer();
        PausePoint();
        SetMeasurementCdac(static_cast<uint16_t>(s.defaultCdac - kCoarseStep));
        double feB = MeasurePfer();
        PausePoint();
        ++attempts;

        double cdacSlope = (feA - feB) * (1.0 / kCoarseStep);
        ReportValue(kItemCdacSlope, 0, cdacSlope, 0, nullptr, OMRA_KIND_INFO, 3);
        cdac = conv::trunc16(s.defaultCdac - feA / cdacSlope);
        // A flat characteristic gives no CDAC: the attempt misses its window.
        if (!Judge(kItemCdac, static_cast<double>(cdacLow), cdac, static_cast<double>(cdacHigh),
                   "CDAC", conv::degenerateSlope(cdacSlope))) {
            if (attempts < w.attempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + w.attemptStep);
                continue;
            }
            OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0,
                      "CDAC %d Exceed Range [%lld, %lld]!", cdac, cdacLow, cdacHigh);
        }
        // Inside the window, the CDAC must still be one the bank has.
        const int bankLow = static_cast<int>(w.cdacBank.low);
        const int bankHigh = static_cast<int>(w.cdacBank.high);
        if (!Judge(kItemCdac, bankLow, cdac, bankHigh, "CDAC")) {
            if (attempts < w.attempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + w.attemptStep);
                continue;
            }
            OMRA_FAIL(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0, "CDAC %d Exceed Range [%d, %d]!",
                      cdac, bankLow, bankHigh);
        }
        break;
    }

    SetMeasurementCdac(cdac);
    SetMeasurementCafc(static_cast<uint16_t>(attemptCafc - s.deltaCafc));
    double feC = MeasurePfer();
    PausePoint();
    const uint16_t upperPoint = static_cast<uint16_t>(attemptCafc + s.deltaCafc);
    SetMeasurementCafc(upperPoint);
    double feD = MeasurePfer();
    if (s.deltaCafc == 0) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "CAFC Slope is zero!");
    }

    // Hz per CAFC code between the two fine points, judged against 7 plus or
    // minus Slope Range; a flat slope gives no CAFC, so it fails whatever the
    // window holds.
    double slope = (feD - feC) / (2.0 * s.deltaCafc);
    const long long slopeLow = w.slope.low;
    const long long slopeHigh = w.slope.high;
    const bool flat = conv::degenerateSlope(slope);
    if (!Judge(kItemCafcSlope, static_cast<double>(slopeLow), slope, static_cast<double>(slopeHigh),
               nullptr, flat)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0,
                  "CAFC Slope: %.2f Exceed Range [%lld, %lld]!", slope, slopeLow, slopeHigh);
    }
    uint16_t slopeLength = conv::trunc16(32768.0 / slope);
    ReportValue(kItemSlopeLength, 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::trunc16(upperPoint - feD / slope);
    SetMeasurementCafc(cafc);

    // The CAFC window is centred on the attempt's CAFC, not on Default CAFC.
    const long long shift = static_cast<long long>(attemptCafc) - s.defaultCafc;
    const long long cafcLow = w.cafc.low + shift;
    const long long cafcHigh = w.cafc.high + shift;
    if (!Judge(kItemCafc, static_cast<double>(cafcLow), cafc, static_cast<double>(cafcHigh),
               "CAFC")) {
        OMRA_FAIL(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0,
                  "CAFC Range: %d Exceed Range [%lld, %lld]!", cafc, cafcLow, cafcHigh);
    }
    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), slopeLength);
    FlashResults();
}

int CVt318::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}

vantor::ChipWindows CVt318::Windows(const Settings& s) {
    vantor::ChipWindows w;
    w.cdac = vantor::MakeSpan(static_cast<long long>(s.defaultCdac) - s.cdacRange,
                              static_cast<long long>(s.defaultCdac) + s.cdacRange);
    w.cdacBank = vantor::MakeSpan(0, 63);
    w.cafc = vantor::MakeSpan(static_cast<long long>(s.defaultCafc) - s.cafcRange,
                              static_cast<long long>(s.defaultCafc) + s.cafcRange);
    w.slope = vantor::MakeSpan(kSlopeCentre - s.slopeRange, kSlopeCentre + s.slopeRange);
    w.attempts = kMaxAttempts;
    w.attemptStep = kAttemptStep;
    return w;
}

vantor::ChipLimits CVt318::Limits(const Settings& s) {
    using vantor::SpanText;
    vantor::ChipLimits l;
    const vantor::ChipWindows w = Windows(s);
    vantor::JudgedWindow(&l, w.cdac, "the CDAC");
    if (w.cdac.low > w.cdacBank.high && s.cdacRange >= 0)
        vantor::Warn(&l, "the CDAC window " + SpanText(w.cdac.low, w.cdac.high) + " lies above " +
                             std::to_string(w.cdacBank.high) +
                             ", the highest CDAC: no unit can pass");
    else if (w.cdac.low <= 0 && w.cdac.high >= 0)
        vantor::Warn(&l,
                     "the CDAC window " + SpanText(w.cdac.low, w.cdac.high) +
                         " holds 0, the CDAC of a crystal whose coarse step does not pull: such "
                         "a unit passes the CDAC check");
    if (s.defaultCdac < kCoarseStep)
        vantor::Warn(&l, "'Default CDAC' " + std::to_string(s.defaultCdac) +
                             " puts the second coarse point below CDAC 0: it wraps to " +
                             std::to_string(static_cast<uint16_t>(s.defaultCdac - kCoarseStep)));
    vantor::JudgedWindow(&l, w.slope, "the CAFC slope");
    vantor::SlopeWindowHoldsZero(&l, w.slope);
    vantor::JudgedWindow(&l, w.cafc, "the CAFC");
    // The last attempt's window lies this far above the first's.
    const long long climb = (w.attempts - 1) * w.attemptStep;
    vantor::CafcWindowHoldsZero(&l, w.cafc, climb);
    if (s.deltaCafc == 0)
        vantor::Warn(&l, "'Delta   CAFC' is 0: both fine points coincide and every run fails with "
                         "\"CAFC Slope is zero!\"");
    l.windows = w;
    return l;
}
