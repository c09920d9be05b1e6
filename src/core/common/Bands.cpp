#include "Bands.h"

int32_t vantor::ClassMarkOfBand(int32_t band) {
    switch (band) {
    case 0:
        return 4;
    case 1:
        return 0;
    case 2:
        return 1;
    case 3:
        return 3;
    default:
        return 0;
    }
}

const char* vantor::BandName(int32_t band) {
    return (band >= 0 && band < static_cast<int32_t>(kBandCount)) ? kBandNames[band] : "-";
}
