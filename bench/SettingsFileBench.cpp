// The settings file with a long R ref list (the one part of it that grows with use): the whole
// save at close, one key at a time (each key a replacement of the file, as before updates) and
// as one update, and the load at start-up. The files go to /dev/shm where it exists, so that
// what is measured is the program's work rather than the disk's flushes.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "SaveSequence.h"
#include "uIniProfile.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace {

namespace fs = std::filesystem;
using namespace tavrin;

class TBenchFolder {
  public:
    TBenchFolder() {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "tavrin-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            Root = pattern;
        }
    }
    ~TBenchFolder() {
        std::error_code ignored;
        fs::remove_all(Root, ignored);
    }
    std::string Path(const std::string& name) const { return (Root / name).string(); }

  private:
    fs::path Root;
};

test::TSavedState LongList(int64_t values) {
    test::TSavedState state;
    state.RrefValues.clear();
    for (int64_t i = 0; i < values; ++i) {
        state.RrefValues.push_back(std::to_string(100 + i));
    }
    return state;
}

void BM_SaveKeyByKey(benchmark::State& state) {
    TBenchFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    const test::TSavedState saved = LongList(state.range(0));
    for (auto _ : state) {
        test::SaveAtClose(file, saved);
    }
}
BENCHMARK(BM_SaveKeyByKey)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_SaveAsOneUpdate(benchmark::State& state) {
    TBenchFolder folder;
    TSettingsFile file(folder.Path("tavrin.ini"));
    const test::TSavedState saved = LongList(state.range(0));
    for (auto _ : state) {
        TSettingsUpdate update(file);
        test::SaveAtClose(file, saved);
        update.Commit();
    }
}
BENCHMARK(BM_SaveAsOneUpdate)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void WriteList(const std::string& path, int64_t values) {
    TSettingsFile file(path);
    TSettingsUpdate update(file);
    test::SaveAtClose(file, LongList(values));
    update.Commit();
}

// What the R ref box reads at start-up: the count, then every value; through the profile
// service, each value is a reading of the whole file (as before the settings object kept it).
void BM_LoadListValueByValue(benchmark::State& state) {
    TBenchFolder folder;
    const std::string path = folder.Path("tavrin.ini");
    WriteList(path, state.range(0));
    for (auto _ : state) {
        const int32_t count =
            ParseIniInt(ProfileRead(path, "Rref", "Count").value_or("0")).value_or(0);
        for (int32_t i = 0; i < count; ++i) {
            benchmark::DoNotOptimize(ProfileRead(path, "Rref", "Value" + std::to_string(i)));
        }
    }
}
BENCHMARK(BM_LoadListValueByValue)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadList(benchmark::State& state) {
    TBenchFolder folder;
    WriteList(folder.Path("tavrin.ini"), state.range(0));
    for (auto _ : state) {
        const TSettingsFile file(folder.Path("tavrin.ini"));
        const int32_t count = file.ReadInt("Rref", "Count", 0);
        for (int32_t i = 0; i < count; ++i) {
            benchmark::DoNotOptimize(file.ReadText("Rref", "Value" + std::to_string(i), "0"));
        }
    }
}
BENCHMARK(BM_LoadList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
