#include "uCpuPath.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tavrin {
namespace {

bool CpuHasAvx2() {
#if TAVRIN_AVX2_KERNELS
    // Also checks that the operating system saves the 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

TCpuPath InitialPath() {
    const char* forced = std::getenv("TAVRIN_CPU");
    if (forced != nullptr && std::strcmp(forced, "baseline") == 0) {
        return TCpuPath::Baseline;
    }
    return CpuHasAvx2() ? TCpuPath::Avx2 : TCpuPath::Baseline;
}

constexpr int kUnset = -1;
std::atomic<int> gPath{kUnset};

}  // namespace

TCpuPath CpuPath() {
    int path = gPath.load(std::memory_order_relaxed);
    if (path == kUnset) {
        // Racing first calls all compute the same answer.
        path = static_cast<int>(InitialPath());
        int expected = kUnset;
        gPath.compare_exchange_strong(expected, path, std::memory_order_relaxed);
        path = gPath.load(std::memory_order_relaxed);
    }
    return static_cast<TCpuPath>(path);
}

bool CpuPathAvailable(TCpuPath path) {
    return path == TCpuPath::Baseline || CpuHasAvx2();
}

bool SetCpuPath(TCpuPath path) {
    if (!CpuPathAvailable(path)) {
        return false;
    }
    gPath.store(static_cast<int>(path), std::memory_order_relaxed);
    return true;
}

const char* CpuPathName(TCpuPath path) {
    return path == TCpuPath::Avx2 ? "avx2" : "baseline";
}

}  // namespace tavrin
