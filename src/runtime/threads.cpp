#include "runtime/threads.h"

#include <cstdlib>
#include <string_view>
#include <thread>

namespace qx::runtime {

unsigned WorkerCount() {
    static const unsigned count = [] {
        const char* given = std::getenv("QX_THREADS");
        if (given && std::string_view(given) == "1") return 1u;
        const unsigned cores = std::thread::hardware_concurrency();
        return cores == 0 ? 1u : cores;
    }();
    return count;
}

}  // namespace qx::runtime
