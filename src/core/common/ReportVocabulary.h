// The words of what a run reports: the names of its result items, the
// columns of its report lines and the NV fields of its result lines. The
// actions write with them and the station reads with them.
#pragma once

#include <cstddef>

namespace vantor {

// --- Result items ------------------------------------------------------------

// The prefix of a measurement's item: "CH: %d, PCL: %d, CDAC: %d, CAFC: %d, FE".
inline constexpr const char kItemMeasurementPrefix[] = "CH: ";
inline constexpr const char kItemMeasurementFormat[] = "CH: %d, PCL: %d, CDAC: %d, CAFC: %d, FE";
inline constexpr const char kItemCdac[] = "CDAC";
inline constexpr const char kItemCafc[] = "CAFC";
inline constexpr const char kItemCdacSlope[] = "CDAC Slope";
inline constexpr const char kItemCafcSlope[] = "CAFC Slope";
inline constexpr const char kItemSlope[] = "Slope"; // the VT300's whole-code CAFC slope
inline constexpr const char kItemSlopeLength[] = "Slope Length";
inline constexpr const char kItemSaveParams[] = "Save params";

// What a result item carries.
enum class ResultValue { Cdac, Cafc, CafcSlope, CdacSlope, SlopeLength, SaveParams };

// --- Report lines ------------------------------------------------------------

// Every report line has 17 comma-separated columns, "-" for an empty one.
inline constexpr size_t kReportColumns = 17;

// The PFER line: "<action>_PFER_<counter>,<band>,..." with its columns, from
// the counter on, in this order.
inline constexpr const char kPferTag[] = "_PFER_";
inline constexpr const char kPferLineFormat[] =
    "%s_PFER_%d,%s,%d,%d,%d,%d,-,%d,%d,%d,%d,%d,-,%f,-,%s,-";
inline constexpr const char kPferUnit[] = "Hz";
enum PferColumn : size_t {
    kPferCounter = 0,
    kPferBand = 1,
    kPferChannel = 2,
    kPferChannelAgain = 3,
    kPferPcl = 4,
    kPferHostValueD = 5,
    kPferHostWordA = 7,
    kPferHostWordB = 8,
    kPferCdac = 9,
    kPferCafc = 10,
    kPferHostWordC = 11,
    kPferFe = 13,
    kPferUnitColumn = 15,
};
// The PFER line's columns that are always "-".
inline constexpr size_t kPferEmptyColumns[] = {6, 12, 14, 16};

// A result line: "<NV struct>.<field>" in column 1, the value in column 14,
// every other column "-".
inline constexpr const char kNvStructName[] =
    "calibration_param_T.rf_param_dsp_use.rf_common_param_dsp_use.nimb2_RF_AFC_STRUCT";
inline constexpr const char kResultLineFormat[] = "%s.%s,-,-,-,-,-,-,-,-,-,-,-,-,%d,-,-,-";
inline constexpr size_t kResultFieldColumn = 0;
inline constexpr size_t kResultValueColumn = 13;

// The NV fields a run writes, in the order of the station's flash record.
enum class NvField { Cafc, Cdac, SlopeLength };
inline constexpr size_t kNvFieldCount = 3;
inline constexpr const char* kNvFieldNames[kNvFieldCount] = {"CAFC", "CDAC", "slope_length"};
constexpr const char* NvFieldName(NvField f) {
    return kNvFieldNames[static_cast<size_t>(f)];
}
constexpr size_t NvIndex(NvField f) {
    return static_cast<size_t>(f);
}

} // namespace vantor
