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
    m_settings = LoadSettings<Settings>(file, kFacts);
    m_windows = Windows(m_settings);
}

int CVantorAfc::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CVantorAfc::Calibrate() {
    using namespace vantor;
    const Settings& st = m_settings;
    const ChipWindows& w = m_windows;
    SetMeasurementPoint(st.defaultCdac, st.defaultCafc);
    double fe0 = MeasurePfer();
    double offsetLimit = std::fabs(static_cast<double>(w.offsetLimit));
    if (!(std::fabs(fe0) <= offsetLimit)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_PFER_RANGE, 0,
                  "PFER out-of-range! %4.2f. |Limit|: %4.2f, CDAC: %d, CAFC: %d", fe0, offsetLimit,
                  st.defaultCdac, st.defaultCafc);
    }

    uint16_t cafc1 = fe0 > 0 ? static_cast<uint16_t>(st.defaultCafc - st.nextCafcDistance)
                             : static_cast<uint16_t>(st.defaultCafc + st.nextCafcDistance);
    SetMeasurementCafc(cafc1);
    PausePoint();
    double fe1 = MeasurePfer();

    int distance =
        static_cast<int>(RecordU16(OMRA_CAL_MEAS_CAFC)) - static_cast<int>(st.defaultCafc);
    double slope = (fe1 - fe0) / distance;
    uint16_t s = conv::fix16(slope);
    uint16_t cafc = conv::fix16(st.defaultCafc - fe0 / slope);
    SetMeasurementCafc(cafc);

    // The slope is judged rounded to whole codes; one from which no CAFC
    // follows is never judged as passing.
    const bool flat = conv::degenerateSlope(slope);
    const int slopeLow = static_cast<int>(w.slope.low), slopeHigh = static_cast<int>(w.slope.high);
    if (!Judge(kItemSlope, slopeLow, s, slopeHigh, nullptr, flat)) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "Too big CAFC slope! %d. [%d, %d]", s,
                  slopeLow, slopeHigh);
    }
    ReportValue(kItemCafc, 0, cafc, 0, "10Hz/bit", OMRA_KIND_INFO, 2);
    ReportValue(kItemCdac, 0, st.defaultCdac, 0, "CDAC", OMRA_KIND_INFO, 3);

    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), conv::fix16(32767.0 / slope));

    const double errorLimit = static_cast<double>(w.errorLimit);
    long long limit = w.errorLimit;
    long long below = static_cast<long long>(s) * cafc;
    if (static_cast<double>(below) < errorLimit) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "(afc * slope = %lld) < %lld!", below,
                  limit);
    }
    long long above = (static_cast<long long>(w.cafcScaleTop) - cafc) * s;
    if (static_cast<double>(above) < errorLimit) {
        OMRA_FAIL(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0, "((8191 - afc) * slope = %lld) < %lld!",
                  above, limit);
    }
    FlashResults();
}

int CVantorAfc::ReportAfcResult() {
    return ReportResultLines(kResultLines, std::size(kResultLines));
}

vantor::ChipWindows CVantorAfc::Windows(const Settings& s) {
    vantor::ChipWindows w;
    w.slope = vantor::MakeSpan(s.minCafcSlope, s.maxCafcSlope);
    w.cafcScaleTop = kCafcScaleTop;
    w.offsetLimit = s.freqOffsetLimit;
    w.errorLimit = s.freqErrorLimit;
    w.cafcByHeadroom = true;
    // At the highest slope a CAFC needs this many codes of headroom either side.
    if (s.maxCafcSlope > 0 && s.maxCafcSlope >= s.minCafcSlope) {
        const long long low = (w.errorLimit + s.maxCafcSlope - 1) / s.maxCafcSlope;
        const long long high = kCafcScaleTop - low;
        if (low <= high)
            w.cafc = vantor::MakeSpan(low, high);
    }
    return w;
}

vantor::ChipLimits CVantorAfc::Limits(const Settings& s) {
    vantor::ChipLimits l;
    const vantor::ChipWindows w = Windows(s);
    const long long maxSlope = s.maxCafcSlope, minSlope = s.minCafcSlope;
    vantor::JudgedWindow(&l, w.slope, "the CAFC slope");
    if (w.offsetLimit == 0)
        vantor::Warn(&l, "'Freq. Offset Limit' is 0: only a first frequency error of exactly 0 Hz "
                         "passes, so no unit can pass");
    else if (w.offsetLimit > 0x7FFFFFFF)
        vantor::Warn(&l, "'Freq. Offset Limit' reads as " + std::to_string(w.offsetLimit) +
                             " Hz: the offset check is off");
    if (minSlope == 0 && w.errorLimit == 0)
        vantor::Warn(&l,
                     "'Min CAFC Slope' 0 together with 'Freq. Error Limit' 0 switches the slope "
                     "and headroom checks off: a crystal that does not pull passes, and a "
                     "meaningless CAFC and slope length are written to its flash");
    else if (w.errorLimit == 0)
        vantor::Warn(&l,
                     "'Freq. Error Limit' is 0: the headroom check is off and only a CAFC above " +
                         std::to_string(w.cafcScaleTop) + " fails it");
    else if (minSlope == 0)
        vantor::Note(&l, "'Min CAFC Slope' is 0: a zero slope passes the slope check (the headroom "
                         "check still fails it)");
    // Both headroom checks hold at best in the middle of the CAFC scale.
    const long long half = w.cafcScaleTop / 2;
    if (maxSlope >= minSlope && w.errorLimit > maxSlope * half)
        vantor::Warn(&l, "'Freq. Error Limit' " + std::to_string(w.errorLimit) +
                             " exceeds the headroom any CAFC can have at the highest slope (" +
                             std::to_string(maxSlope * half) + "): no unit can pass");
    if (s.nextCafcDistance == 0 && minSlope > 0)
        vantor::Warn(&l, "'Next CAFC Distance' is 0: both points coincide and every run fails the "
                         "slope check");
    l.windows = w;
    return l;
}
