// The number in a PFER line: counted per run, for the whole library.
#pragma once

namespace vantor {

// The PFER line counter: one for the whole library, reset by every run.
int& PferLineCounter();

} // namespace vantor
