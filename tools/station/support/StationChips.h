// The station's chips: the rows of the library's chip registry, in order,
// each with the simulated handset of its position.
#pragma once

#include "Simulator.h"
#include "chips/ChipRegistry.h"

#include <cstddef>
#include <string>
#include <vector>

namespace station {

// Every chip, in the registry's order.
const std::vector<sim::Chip>& AllChips();
const vantor::ChipRow& Row(sim::Chip chip);
size_t ChipIndex(sim::Chip chip);

// The chip an operator names ("vt318", any case), or null.
const sim::Chip* FindChip(const std::string& name);
// The chips an operator may name, lower case, with `last` between the last
// two and ", " between the others ("|" between all when `last` is "|").
std::string ChipChoices(const char* last);

// What the registry says of a chip's run.
bool JudgesCdac(const vantor::ChipRow& row);     // a unit may move its CDAC
bool RepeatsSearch(const vantor::ChipRow& row);  // a run may take several coarse attempts
bool WholeCodeSlope(const vantor::ChipRow& row); // the slope is judged rounded to whole codes
// An information item judged after it is reported by the operation of the row, or 0.
uint32_t LaterJudgement(const vantor::ChipRow& row, vantor::ResultValue value);

// The chip an operator names; UsageError listing the choices otherwise.
sim::Chip ParseChip(const std::string& text);
// Action id and display name ("VT318") of a chip.
uint32_t ActionId(sim::Chip chip);
const char* ChipLabel(sim::Chip chip);
// The band's name ("EGSM900"), "?" for none.
const char* BandLabel(int32_t band);
// The uplink carrier of a channel in MHz, 0 when the channel is not in the band.
double CarrierMhz(int band, int channel);

} // namespace station
