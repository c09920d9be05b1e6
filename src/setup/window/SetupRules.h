// Rules of the setup window and its pages that need no window: the title,
// which page a bar item shows, the pages' keys, defaults and ranges, and the
// help page's texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace setupwin {

// --- Window ----------------------------------------------------------------

// The title text of each chip page, null for a chip page without one.
const char* ChipTitleText(int chipPage);

// "T [first\...\last but one\last]" for a path of more than three parts, else
// "T [path]". Parts are split at "\" on a copy of at most 260 bytes; a part
// beginning with ";" or "#" ends the split.
std::string WindowTitle(const char* titleText, const char* path);

enum class SetupPage { None, HtmlHelp, Parameters, About };

// The page a click on item `item` of the selected folder `folder` shows.
SetupPage PageForBarItem(int folder, int item);

// Bar notification codes and the reply the setup window gives to each.
enum BarNotifyCode {
    kBarItemClicked = 1,
    kBarItemRenamed = 2,
    kBarFolderRenamed = 3,
    kBarItemDragged = 4,
    kBarFolderChanged = 5,
};
// 1 (accept) for renames and drags, 0 for everything else.
int BarNotifyReply(int code);

// Splitter column sizes: at creation from the client width, at initialisation
// from the placeholder's width.
struct ColumnSizes {
    int barIdeal, barMin, pagesIdeal, pagesMin;
};
ColumnSizes CreationColumnSizes(int clientWidth);
int InitialBarWidth(int placeholderWidth);

// --- Parameter pages -------------------------------------------------------

// One edited key: where it lives, its default on load, its edit control and
// its accepted range (when `ranged`).
struct ParamField {
    const char* section;
    const char* key;
    int32_t defaultValue;
    int controlId;
    bool ranged;
    int64_t low;
    int64_t high;
};

constexpr size_t kParamCount = 8;

struct ParamPageDef {
    const char* className;
    // In key order: the order of load and save.
    std::array<ParamField, kParamCount> fields;
    // Control ids in the order of the data exchange.
    std::array<int, kParamCount> exchangeOrder;
    // Unsigned pages read every field as an unsigned decimal number.
    bool unsignedNumbers;
};

const ParamPageDef& Vt318PageDef();
const ParamPageDef& Vt300PageDef();
// The page of a chip page (0 VT300, 1 VT318), null for any other.
const ParamPageDef* PageDefForChip(int chipPage);

// Index in key order of the field with this control id, -1 if none.
int FieldIndexOfControl(const ParamPageDef& page, int controlId);

// Values in key order, as 32-bit words (signed or unsigned by page).
using ParamValues = std::array<uint32_t, kParamCount>;

ParamValues LoadParamValues(const ParamPageDef& page, const char* path);

// How far a save got: the keys before `written` are in the file; the key at
// `written` failed with the system's error number.
struct SaveOutcome {
    size_t written = 0;
    uint32_t systemError = 0;
    bool Complete() const { return written == kParamCount; }
    explicit operator bool() const { return Complete(); }
};
// Writes the keys in key order with "%d" and stops at the first that fails,
// so what was written stays and nothing after it is tried.
SaveOutcome SaveParamValues(const ParamPageDef& page, const ParamValues& values, const char* path);
std::string FormatParamValue(uint32_t value);

// --- Help page ---------------------------------------------------------------

// Maker's notice, then "\nVersion: %s\nBuild: %s".
std::string AboutText(const std::string& version, const std::string& build);
// Two numbered lines, each ending in "\r\n".
std::string ReleaseHistory();

// The company name engraved beside the buttons.
const char* CompanyCaption();

} // namespace setupwin
