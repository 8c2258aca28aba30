#pragma once

// Which code path the numeric kernels take: the baseline one, which runs on any x86-64 CPU (and
// on any other), or 256-bit AVX2 where the CPU and the operating system offer it. Both give
// exactly the same bits; the choice is about speed only. The path is chosen at first use:
// AVX2 when available, unless the environment sets TAVRIN_CPU=baseline. Thread-safe: a kernel
// reads the path once per call.

// The AVX2 kernels are built where the compiler can target them function by function, so the
// rest of the program keeps the baseline instruction set.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TAVRIN_AVX2_KERNELS 1
#define TAVRIN_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define TAVRIN_AVX2_KERNELS 0
#endif

// The AVX2 kernels' namespace. A test build compiles them a second time with one operation
// changed, under another name, to show that the byte-for-byte comparisons notice the change.
#if defined(TAVRIN_PERTURBED_KERNELS)
#define TAVRIN_AVX2_NAMESPACE avx2_perturbed
#else
#define TAVRIN_AVX2_NAMESPACE avx2
#endif

namespace tavrin {

enum class TCpuPath { Baseline, Avx2 };

TCpuPath CpuPath();
bool CpuPathAvailable(TCpuPath path);
// Switches the kernels to `path` from the next call on; false, and no change, when this CPU
// cannot run it. For tests and benchmarks, which run both paths in one process.
bool SetCpuPath(TCpuPath path);
// "baseline" or "avx2".
const char* CpuPathName(TCpuPath path);

}  // namespace tavrin
