#include "SetupRules.h"

#include "common/ActionBase.h"
#include "common/ConfigTable.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace setupwin {

namespace {
constexpr size_t kPathCopy = 260;
constexpr size_t kMaxParts = 260;

constexpr int64_t kAnyLow = INT32_MIN;
constexpr int64_t kAnyHigh = INT32_MAX;

// A page's fields are the keys of the chip's table that it edits, in the
// table's order, with their edit controls in that order.
template <size_t N> constexpr size_t pageKeyCount(const config::KeyFact (&facts)[N]) {
    size_t n = 0;
    for (const config::KeyFact& f : facts)
        n += f.onPage ? 1 : 0;
    return n;
}
static_assert(pageKeyCount(config::kVt318) == kParamCount, "the VT318 page edits eight keys");
static_assert(pageKeyCount(config::kVt300) == kParamCount, "the VT300 page edits eight keys");

template <size_t N>
ParamPageDef makePage(const char* className, const config::KeyFact (&facts)[N],
                      std::array<int, kParamCount> controls,
                      std::array<int, kParamCount> exchangeOrder, bool unsignedNumbers) {
    ParamPageDef page{className, {}, exchangeOrder, unsignedNumbers};
    size_t n = 0;
    for (const config::KeyFact& f : facts) {
        if (!f.onPage)
            continue;
        const bool ranged = f.pageRange.Known();
        page.fields[n] = ParamField{f.section,
                                    f.key,
                                    f.pageDefault,
                                    controls[n],
                                    ranged,
                                    ranged ? f.pageRange.low : kAnyLow,
                                    ranged ? f.pageRange.high : kAnyHigh};
        ++n;
    }
    return page;
}

} // namespace

const char* ChipTitleText(int chipPage) {
    switch (chipPage) {
    case 0:
        return "Vantor Vt300 Crystal Afc Setup";
    case 1:
        return "Vantor Vt318 Crystal Afc Setup";
    default:
        return nullptr;
    }
}

std::string WindowTitle(const char* titleText, const char* path) {
    const std::string title = titleText != nullptr ? titleText : "";
    const std::string whole = path != nullptr ? path : "";
    char copy[kPathCopy] = {};
    std::strncpy(copy, whole.c_str(), sizeof copy - 1);
    char* parts[kMaxParts] = {};
    int count = 0;
    vantor::SplitTokens(copy, parts, "\\", &count, kMaxParts);
    if (count > 3)
        return title + " [" + parts[0] + "\\...\\" + parts[count - 2] + "\\" + parts[count - 1] +
               "]";
    return title + " [" + whole + "]";
}

SetupPage PageForBarItem(int folder, int item) {
    if (folder == 0 && item == 0)
        return SetupPage::HtmlHelp;
    if (folder == 0 && item == 1)
        return SetupPage::Parameters;
    if (folder == 1 && item == 0)
        return SetupPage::About;
    return SetupPage::None;
}

int BarNotifyReply(int code) {
    return code == kBarItemRenamed || code == kBarFolderRenamed || code == kBarItemDragged ? 1 : 0;
}

ColumnSizes CreationColumnSizes(int clientWidth) {
    return ColumnSizes{clientWidth / 7, 0, clientWidth / 5, 0};
}

int InitialBarWidth(int placeholderWidth) {
    return placeholderWidth / 4;
}

const ParamPageDef& Vt318PageDef() {
    static const ParamPageDef page = makePage(
        "CFormViewVt318", config::kVt318, {14014, 14016, 14001, 14002, 14006, 14007, 14009, 14011},
        {14006, 14002, 14001, 14009, 14011, 14007, 14014, 14016}, true);
    return page;
}
const ParamPageDef& Vt300PageDef() {
    static const ParamPageDef page = makePage(
        "CFormViewSetup", config::kVt300, {14007, 14001, 14002, 14004, 14005, 14006, 14003, 14008},
        {14007, 14001, 14002, 14004, 14005, 14006, 14003, 14008}, false);
    return page;
}

const ParamPageDef* PageDefForChip(int chipPage) {
    switch (chipPage) {
    case 0:
        return &Vt300PageDef();
    case 1:
        return &Vt318PageDef();
    default:
        return nullptr;
    }
}

int FieldIndexOfControl(const ParamPageDef& page, int controlId) {
    for (size_t i = 0; i < page.fields.size(); ++i)
        if (page.fields[i].controlId == controlId)
            return static_cast<int>(i);
    return -1;
}

ParamValues LoadParamValues(const ParamPageDef& page, const char* path) {
    ParamValues values{};
    for (size_t i = 0; i < page.fields.size(); ++i) {
        const ParamField& f = page.fields[i];
        // No file reads as a file without keys: every default.
        values[i] = path != nullptr ? platform::ProfileInt(f.section, f.key, f.defaultValue, path)
                                    : static_cast<uint32_t>(f.defaultValue);
    }
    return values;
}

std::string FormatParamValue(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<int32_t>(value)));
    return text;
}

SaveOutcome SaveParamValues(const ParamPageDef& page, const ParamValues& values, const char* path) {
    SaveOutcome outcome;
    for (; outcome.written < page.fields.size(); ++outcome.written) {
        const ParamField& f = page.fields[outcome.written];
        if (!platform::WriteProfileString(f.section, f.key,
                                          FormatParamValue(values[outcome.written]).c_str(), path,
                                          &outcome.systemError))
            break;
    }
    return outcome;
}

std::string AboutText(const std::string& version, const std::string& build) {
    return "VantorCrystal AFC calibration library, (C) Vantor Technologies."
           "\nVersion: " +
           version + "\nBuild: " + build;
}

std::string ReleaseHistory() {
    return "1. First release: VT300 AFC calibration, 20080623\r\n"
           "2. Added VT318 AFC calibration, 20090112\r\n";
}

const char* CompanyCaption() {
    return "Vantor Technologies";
}

} // namespace setupwin
