#include "PferCounter.h"

int& vantor::PferLineCounter() {
    // One counter for the whole library, as the PFER lines are numbered per run.
    static int counter = 0;
    return counter;
}
