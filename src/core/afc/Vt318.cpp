#include "Vt318.h"

#include "common/Convert.h"
#include "platform/platform.h"

#include <cmath>

int CVt318::LoadAdjustConfig(const char* path) {
    int r = CActionBase::LoadAdjustConfig(path);
    if (r != 0)
        return r;
    LoadCommonSection(path);
    const char* s = "CRYSTAL_VT318";
    m_defaultCdac = static_cast<uint16_t>(platform::ProfileInt(s, "Default CDAC", 55, path));
    m_defaultCafc = static_cast<uint16_t>(platform::ProfileInt(s, "Default CAFC", 7000, path));
    m_cdacRange = static_cast<int32_t>(platform::ProfileInt(s, "CDAC    Range", 15, path));
    m_cafcRange = static_cast<int32_t>(platform::ProfileInt(s, "CAFC    Range", 1000, path));
    m_deltaCafc = static_cast<uint16_t>(platform::ProfileInt(s, "Delta   CAFC", 1000, path));
    m_slopeRange = static_cast<int32_t>(platform::ProfileInt(s, "Slope Range", 3, path));
    return 0;
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
        bool degenerate = conv::degenerateSlope(cdacSlope);
        ReportValue("CDAC", static_cast<double>(cdacLow),
                    JudgedValue(cdac, degenerate, static_cast<double>(cdacLow),
                                static_cast<double>(cdacHigh)),
                    static_cast<double>(cdacHigh), "CDAC", OMRA_KIND_JUDGED, 1);
        if (degenerate || cdac < cdacLow || cdac > cdacHigh) {
            if (attempts < kMaxAttempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + 1000);
                continue;
            }
            RecordError(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0);
            OMRA_THROW("CDAC %d Exceed Range [%lld, %lld]!", cdac, cdacLow, cdacHigh);
        }
        ReportValue("CDAC", 0, cdac, 63, "CDAC", OMRA_KIND_JUDGED, 1);
        if (cdac > 63) {
            if (attempts < kMaxAttempts) {
                attemptCafc = static_cast<uint16_t>(attemptCafc + 1000);
                continue;
            }
            RecordError(OMRA_OP_CDAC_RANGE, OMRA_ERR_CDAC_RANGE, 0);
            OMRA_THROW("CDAC %d Exceed Range [%d, %d]!", cdac, 0, 63);
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
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("CAFC Slope is zero!");
    }
    double slope = (feD - feC) / (2.0 * m_deltaCafc);
    const long long slopeLow = 7LL - m_slopeRange;
    const long long slopeHigh = 7LL + m_slopeRange;
    bool degenerate = conv::degenerateSlope(slope);
    ReportValue("CAFC Slope", static_cast<double>(slopeLow),
                JudgedValue(slope, degenerate, static_cast<double>(slopeLow),
                            static_cast<double>(slopeHigh)),
                static_cast<double>(slopeHigh), nullptr, OMRA_KIND_JUDGED, 1);
    if (degenerate || slope < slopeLow || slope > slopeHigh) {
        RecordError(OMRA_OP_AFC_CHECK, OMRA_ERR_SLOPE, 0);
        OMRA_THROW("CAFC Slope: %.2f Exceed Range [%lld, %lld]!", slope, slopeLow, slopeHigh);
    }
    uint16_t slopeLength = conv::trunc16(32768.0 / slope);
    ReportValue("Slope Length", 0, static_cast<int16_t>(slopeLength), 0, nullptr, OMRA_KIND_INFO,
                3);
    uint16_t cafc = conv::trunc16(upperPoint - feD / slope);
    SetMeasurementCafc(cafc);
    const long long cafcLow = static_cast<long long>(attemptCafc) - m_cafcRange;
    const long long cafcHigh = static_cast<long long>(attemptCafc) + m_cafcRange;
    ReportValue("CAFC", static_cast<double>(cafcLow), cafc, static_cast<double>(cafcHigh), "CAFC",
                OMRA_KIND_JUDGED, 1);
    if (cafc < cafcLow || cafc > cafcHigh) {
        RecordError(OMRA_OP_CAFC_RANGE, OMRA_ERR_CAFC_RANGE, 0);
        OMRA_THROW("CAFC Range: %d Exceed Range [%lld, %lld]!", cafc, cafcLow, cafcHigh);
    }
    StoreResults(cafc, RecordU16(OMRA_CAL_MEAS_CDAC), slopeLength);
    FlashResults();
}

int CVt318::ReportAfcResult() {
    static const NvField order[] = {NvField::Cdac, NvField::Cafc, NvField::SlopeLength};
    return ReportResultLines(order, 3);
}
