// How the process ends when its own memory is damaged or exhausted.
#pragma once

namespace eldoris {

// Ends the process with ERROR_OUTOFMEMORY when an allocation of `new` fails,
// and asks the heap to end it when it finds itself corrupted, where the
// system offers that.
void endProcessOnMemoryFailures();

}  // namespace eldoris
