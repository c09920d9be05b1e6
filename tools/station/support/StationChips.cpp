#include "support/StationChips.h"

#include "common/Bands.h"
#include "support/Parse.h"

#include <cctype>
#include <cstring>

namespace station {

const std::vector<sim::Chip>& AllChips() {
    static const std::vector<sim::Chip> chips = [] {
        std::vector<sim::Chip> all;
        for (size_t i = 0; i < vantor::Chips().size(); ++i)
            all.push_back(static_cast<sim::Chip>(i));
        return all;
    }();
    return chips;
}

size_t ChipIndex(sim::Chip chip) {
    return static_cast<size_t>(chip);
}

const vantor::ChipRow& Row(sim::Chip chip) {
    return vantor::Chips()[ChipIndex(chip)];
}

namespace {

std::string lowered(const char* text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

const sim::Chip* FindChip(const std::string& name) {
    for (const sim::Chip& chip : AllChips())
        if (lowered(name.c_str()) == lowered(Row(chip).label))
            return &chip;
    return nullptr;
}

std::string ChipChoices(const char* last) {
    std::string text;
    const size_t n = AllChips().size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0)
            text += i + 1 == n ? last : (std::strcmp(last, "|") == 0 ? "|" : ", ");
        text += lowered(vantor::Chips()[i].label);
    }
    return text;
}

namespace {

template <class Pred> bool anyItem(const vantor::ChipRow& row, Pred pred) {
    for (size_t i = 0; i < row.itemCount; ++i)
        if (pred(row.items[i]))
            return true;
    return false;
}

} // namespace

bool JudgesCdac(const vantor::ChipRow& row) {
    return anyItem(row, [](const vantor::ResultItem& it) {
        return it.value == vantor::ResultValue::Cdac && it.kind == OMRA_KIND_JUDGED;
    });
}

bool RepeatsSearch(const vantor::ChipRow& row) {
    return row.points.most > row.points.least;
}

bool WholeCodeSlope(const vantor::ChipRow& row) {
    return anyItem(row, [](const vantor::ResultItem& it) {
        return it.value == vantor::ResultValue::CafcSlope &&
               std::strcmp(it.name, vantor::kItemSlope) == 0;
    });
}

uint32_t LaterJudgement(const vantor::ChipRow& row, vantor::ResultValue value) {
    for (size_t i = 0; i < row.itemCount; ++i)
        if (row.items[i].value == value && row.items[i].judgedLaterBy != 0)
            return row.items[i].judgedLaterBy;
    return 0;
}

sim::Chip ParseChip(const std::string& text) {
    if (const sim::Chip* chip = FindChip(text))
        return *chip;
    throw UsageError("unknown chip '" + text + "' (choose " + ChipChoices(" or ") + ")");
}

uint32_t ActionId(sim::Chip chip) {
    return Row(chip).id;
}

const char* ChipLabel(sim::Chip chip) {
    return Row(chip).label;
}

const char* BandLabel(int32_t band) {
    return band >= 0 && band < static_cast<int32_t>(vantor::kBandCount) ? vantor::kBandNames[band]
                                                                        : "?";
}

double CarrierMhz(int band, int ch) {
    switch (band) {
    case 0:
        return ch >= 128 && ch <= 251 ? 824.2 + 0.2 * (ch - 128) : 0;
    case 1:
        if (ch >= 0 && ch <= 124)
            return 890.0 + 0.2 * ch;
        return ch >= 975 && ch <= 1023 ? 890.0 + 0.2 * (ch - 1024) : 0;
    case 2:
        return ch >= 512 && ch <= 885 ? 1710.2 + 0.2 * (ch - 512) : 0;
    case 3:
        return ch >= 512 && ch <= 810 ? 1850.2 + 0.2 * (ch - 512) : 0;
    }
    return 0;
}

} // namespace station
