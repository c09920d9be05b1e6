#include "LN2040.h"

#include "common/Convert.h"
#include "platform/platform.h"

int CLN2040::LoadAdjustConfig(const char* path) {
    int r = CActionBase::LoadAdjustConfig(path);
    if (r != 0)
        return r;
    LoadCommonSection(path);
    const char* s = "LN2040 AFC";
    auto read = [&](const char* key, int32_t def) {
        return static_cast<int32_t>(platform::ProfileInt(s, key, def, path));
    };
    m_defaultCdac = read("DEFAULT_CDAC", 39);
    m_defaultCdacStep = read("DEFAULT_CDAC_STEP", 4);
    m_caliCdacMin = read("CALI_CDAC_MIN", 32);
    m_caliCdacMax = read("CALI_CDAC_MAX", 47);
    m_defaultCafc = read("DEFAULT_CAFC", 9000);
    m_defaultCafcStep = read("DEFAULT_CAFC_STEP", 1500);
    m_caliCafcMin = read("CALI_CAFC_MIN", 5500);
    m_caliCafcMax = read("CALI_CAFC_MAX", 12500);
    m_caliCafcSlopeMin = read("CALI_CAFC_SLOPE_MIN", 3);
    m_caliCafcSlopeMax = read("CALI_CAFC_SLOPE_MAX", 8);
    return 0;
}

int CLN2040::DoAction() {
    return RunFrame([this] { Calibrate(); });
}

void CLN2040::Calibrate() {
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
    bool flat = conv::degenerateSlope(cdacSlope);
    ReportValue("CDAC", m_caliCdacMin, JudgedValue(cdac, flat, m_caliCdacMin, m_caliCdacMax),
                m_caliCdacMax, "CDAC", OMRA_KIND_JUDGED, 1);
    if (flat || cdac < m_caliCdacMin || cdac > m_caliCdacMax) {
        RecordError(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0);
        OMRA_THROW("CDAC %d Exceed Range [%d, %d]!", cdac, m_caliCdacMin, m_caliCdacMax);
    }

    const long long lowerPoint = static_cast<long long>(m_defaultCafc) - m_defaultCafcStep;
    SetMeasurementCafc(static_cast<uint16_t>(lowerPoint));
    double fe2 = MeasurePfer();
    PausePoint();
    SetMeasurementCafc(
        static_cast<uint16_t>(static_cast<long long>(m_defaultCafc) + m_defaultCafcStep));
    double fe3 = MeasurePfer();

    double slope = (fe3 - fe2) / (2.0 * static_cast<double>(m_defaultCafcStep));
    bool degenerate = conv::degenerateSlope(slope);
    ReportValue("CAFC Slope", m_caliCafcSlopeMin,
                JudgedValue(slope, degenerate, m_caliCafcSlopeMin, m_caliCafcSlopeMax),
                m_caliCafcSlopeMax, nullptr, OMRA_KIND_JUDGED, 1);
    if (degenerate || slope < m_caliCafcSlopeMin || slope > m_caliCafcSlopeMax) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("CAFC Slope: %.2f Exceed Range [%d, %d]!", slope, m_caliCafcSlopeMin,
                   m_caliCafcSlopeMax);
    }
    uint16_t slopeLength = conv::fix16(32768.0 / slope);
    ReportValue("Slope Length", 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::fix16(static_cast<double>(lowerPoint) - fe2 / slope);
    SetMeasurementCafc(cafc);
    ReportValue("CAFC", m_caliCafcMin, cafc, m_caliCafcMax, "CAFC", OMRA_KIND_JUDGED, 1);
    if (cafc < m_caliCafcMin || cafc > m_caliCafcMax) {
        RecordError(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0);
        OMRA_THROW("CAFC Range: %d Exceed Range [%d, %d]!", cafc, m_caliCafcMin, m_caliCafcMax);
    }
    StoreResults(cafc, cdac, slopeLength);
    FlashResults();
}

int CLN2040::ReportAfcResult() {
    static const NvField order[] = {NvField::Cdac, NvField::Cafc, NvField::SlopeLength};
    return ReportResultLines(order, 3);
}
