// How the process ends when its own memory is damaged or exhausted.
#pragma once

namespace eldoris {

// Asks the heap to end the process when it finds itself corrupted, where the
// system offers that. (An allocation of `new` that fails ends it with
// ERROR_OUTOFMEMORY.)
void endProcessOnMemoryFailures();

}  // namespace eldoris
