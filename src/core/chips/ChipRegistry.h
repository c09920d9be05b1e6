// The chip registry: one row per chip action, holding what the library
// object, the setup window, the station, the fuzzers and the tests need to
// know of it. A new chip is its own sources, its configuration rows and one
// row here; everything else loops over the rows.
#pragma once

#include "chips/ChipLimits.h"
#include "common/ConfigTable.h"
#include "common/ReportVocabulary.h"
#include "omra/omra.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantor {

// The number of PFER points a passing run takes: from `least` to `most` in
// steps of `step` (a chip that repeats a search adds points per attempt).
struct PointCount {
    int least = 0;
    int most = 0;
    int step = 1;
    constexpr bool Passing(size_t n) const {
        return static_cast<int>(n) >= least && static_cast<int>(n) <= most &&
               (static_cast<int>(n) - least) % step == 0;
    }
};

// A result item a run reports (measurements aside): its name, what it
// carries and its kind. An information item the chip judges only after
// reporting it names the operation of that judgement: a run that fails with
// it has failed the item.
struct ResultItem {
    const char* name;
    ResultValue value;
    int32_t kind;
    uint32_t judgedLaterBy = 0;
};

struct ChipRow {
    uint16_t id;             // the action id the host asks for
    const char* shortName;   // names the action in its messages and lines ("VT318_AFC")
    const char* entryName;   // the info block's name of the action
    const char* label;       // the chip as an operator names it ("VT318")
    int setupPage;           // the setup window's page, or kNoSetupPage
    const char* section;     // the chip's own configuration section
    config::Facts facts;     // its keys, "AFC-COMMON" first
    IAction* (*create)();    // a new action, or null without memory
    const ResultItem* items; // what a passing run reports after its measurements, in order
    size_t itemCount;
    const NvField* lines; // the result lines, in order
    size_t lineCount;
    PointCount points;
    bool infoHeader; // the action the info block's header names
    // The windows its run judges and what a check of its settings finds,
    // its keys read as the action reads them.
    ChipLimits (*limits)(const KeyReader& read);
};

inline constexpr int kNoSetupPage = -1;

// A run of rows, iterable; the library object is given one.
class ChipRegistry {
public:
    constexpr ChipRegistry(const ChipRow* rows, size_t count) : m_rows(rows), m_count(count) {}
    constexpr const ChipRow* begin() const { return m_rows; }
    constexpr const ChipRow* end() const { return m_rows + m_count; }
    constexpr size_t size() const { return m_count; }
    constexpr const ChipRow& operator[](size_t i) const { return m_rows[i]; }
    // The row of an action id (its low 16 bits), or null.
    const ChipRow* Find(uint32_t id) const {
        for (const ChipRow& row : *this)
            if (row.id == static_cast<uint16_t>(id & 0xFFFFu))
                return &row;
        return nullptr;
    }

private:
    const ChipRow* m_rows;
    size_t m_count;
};

// The chips of this library, in the order of its info block.
const ChipRegistry& Chips();

// Every configuration table the actions read: the handset command policy's,
// then each chip's in the registry's order.
const std::vector<config::Facts>& ConfigTables();

} // namespace vantor
