#include "ChipRegistry.h"

#include "afc/LN2040.h"
#include "afc/VantorAfc.h"
#include "afc/Vt318.h"

#include <iterator>
#include <new>

namespace vantor {

namespace {

template <class Action> IAction* make() {
    return new (std::nothrow) Action();
}

template <class Action> ChipLimits limitsOf(const KeyReader& r) {
    return Action::Limits(
        config::Load<typename Action::Settings>(Action::kFacts, [&r](const config::KeyFact& f) {
            return r.read(r.context, f.section, f.key, f.actionDefault);
        }));
}

// The VT300 action name: "VT300 AFC. [" + five GBK characters + "]".
constexpr const char kVt300EntryName[] = "VT300 AFC. [\xC1\xBD\xB5\xE3\xD6\xB1\xCF\xDF\xB7\xA8]";

constexpr ResultItem kVt300Items[] = {
    {kItemSlope, ResultValue::CafcSlope, OMRA_KIND_JUDGED},
    {kItemCafc, ResultValue::Cafc, OMRA_KIND_INFO, OMRA_OP_AFC_CHECK}, // the headroom checks
    {kItemCdac, ResultValue::Cdac, OMRA_KIND_INFO},
    {kItemSaveParams, ResultValue::SaveParams, OMRA_KIND_JUDGED},
};
// Each coarse attempt repeats the first three.
constexpr ResultItem kVt318Items[] = {
    {kItemCdacSlope, ResultValue::CdacSlope, OMRA_KIND_INFO},
    {kItemCdac, ResultValue::Cdac, OMRA_KIND_JUDGED},
    {kItemCdac, ResultValue::Cdac, OMRA_KIND_JUDGED}, // inside the bank
    {kItemCafcSlope, ResultValue::CafcSlope, OMRA_KIND_JUDGED},
    {kItemSlopeLength, ResultValue::SlopeLength, OMRA_KIND_INFO},
    {kItemCafc, ResultValue::Cafc, OMRA_KIND_JUDGED},
    {kItemSaveParams, ResultValue::SaveParams, OMRA_KIND_JUDGED},
};
constexpr ResultItem kLn2040Items[] = {
    {kItemCdacSlope, ResultValue::CdacSlope, OMRA_KIND_INFO},
    {kItemCdac, ResultValue::Cdac, OMRA_KIND_JUDGED},
    {kItemCafcSlope, ResultValue::CafcSlope, OMRA_KIND_JUDGED},
    {kItemSlopeLength, ResultValue::SlopeLength, OMRA_KIND_INFO},
    {kItemCafc, ResultValue::Cafc, OMRA_KIND_JUDGED},
    {kItemSaveParams, ResultValue::SaveParams, OMRA_KIND_JUDGED},
};

constexpr ChipRow kRows[] = {
    {OMRA_ACTION_VT300, CVantorAfc::kShortName, kVt300EntryName, "VT300", 0, "CRYSTAL_VT300",
     CVantorAfc::kFacts, &make<CVantorAfc>, kVt300Items, std::size(kVt300Items),
     CVantorAfc::kResultLines, std::size(CVantorAfc::kResultLines), PointCount{2, 2, 1}, false,
     &limitsOf<CVantorAfc>},
    {OMRA_ACTION_VT318, CVt318::kShortName, "VT318 AFC.", "VT318", 1, "CRYSTAL_VT318",
     CVt318::kFacts, &make<CVt318>, kVt318Items, std::size(kVt318Items), CVt318::kResultLines,
     std::size(CVt318::kResultLines), PointCount{4, 2 * CVt318::kMaxAttempts + 2, 2}, true,
     &limitsOf<CVt318>},
    {OMRA_ACTION_LN2040, CLN2040::kShortName, "LN2040", "LN2040", kNoSetupPage, "LN2040 AFC",
     CLN2040::kFacts, &make<CLN2040>, kLn2040Items, std::size(kLn2040Items), CLN2040::kResultLines,
     std::size(CLN2040::kResultLines), PointCount{4, 4, 1}, false, &limitsOf<CLN2040>},
};

constexpr ChipRegistry kRegistry{kRows, std::size(kRows)};

} // namespace

const ChipRegistry& Chips() {
    return kRegistry;
}

const std::vector<config::Facts>& ConfigTables() {
    static const std::vector<config::Facts> tables = [] {
        std::vector<config::Facts> all = {config::kDiagControlFacts};
        for (const ChipRow& row : kRegistry)
            all.push_back(row.facts);
        return all;
    }();
    return tables;
}

} // namespace vantor
