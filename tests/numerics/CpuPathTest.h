#pragma once

// A fixture for tests that must hold on every code path of the numeric kernels: parameterised by
// the path, skipped where this CPU cannot run it, the previous path restored afterwards.
//
//   class MySuite : public testing::CpuPathTest {};
//   TEST_P(MySuite, ...) { ... }
//   TAVRIN_INSTANTIATE_CPU_PATHS(MySuite);

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "uCpuPath.h"

namespace tavrin {

inline void PrintTo(TCpuPath path, std::ostream* out) {
    *out << CpuPathName(path);
}

}  // namespace tavrin

namespace tavrin::testing {

class CpuPathTest : public ::testing::TestWithParam<TCpuPath> {
  protected:
    void SetUp() override {
        Saved = CpuPath();
        if (!SetCpuPath(GetParam())) {
            GTEST_SKIP() << "this CPU cannot run the " << CpuPathName(GetParam()) << " path";
        }
    }
    void TearDown() override { SetCpuPath(Saved); }

  private:
    TCpuPath Saved = TCpuPath::Baseline;
};

inline std::string CpuPathTestName(const ::testing::TestParamInfo<TCpuPath>& info) {
    return CpuPathName(info.param);
}

}  // namespace tavrin::testing

#define TAVRIN_INSTANTIATE_CPU_PATHS(Suite)                                                     \
    INSTANTIATE_TEST_SUITE_P(                                                                   \
        Path, Suite, ::testing::Values(::tavrin::TCpuPath::Baseline, ::tavrin::TCpuPath::Avx2), \
        ::tavrin::testing::CpuPathTestName)
