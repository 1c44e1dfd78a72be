#pragma once
// How the program spreads work over the processor's cores.

namespace qx::runtime {

// The cores to use: the processor's, or 1 when the environment variable
// QX_THREADS is 1 (to compare a run on one core with the usual one; what
// the program writes is the same either way).
unsigned WorkerCount();

}  // namespace qx::runtime
