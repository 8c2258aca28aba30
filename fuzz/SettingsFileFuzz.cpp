// The settings file through the file layer: a file of arbitrary bytes is read, then saved with
// the program's whole save sequence, one key at a time and as one update. Both must leave the
// same bytes, read back what was saved, leave no temporary file, and a file that cannot be read
// must be refused by both and left as it was.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "SaveSequence.h"
#include "uFileError.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings file invariant broken: %s\n", what);
        std::abort();
    }
}

// A folder of the process's own, in memory where possible: the saves flush every file. It goes
// when the run ends; a crash leaves it behind.
class TFolder {
  public:
    TFolder() {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "tavrin-fuzz-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr, "cannot create a folder");
        Path = pattern;
    }
    ~TFolder() {
        std::error_code ignored;
        fs::remove_all(Path, ignored);
    }
    fs::path Path;
};

const fs::path& Folder() {
    static const TFolder folder;
    return folder.Path;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Saves `state`; false when the file refused it.
bool Save(tavrin::TSettingsFile& file, const tavrin::test::TSavedState& state, bool batched) {
    try {
        if (batched) {
            tavrin::TSettingsUpdate update(file);
            tavrin::test::SaveAtClose(file, state);
            update.Commit();
        } else {
            tavrin::test::SaveAtClose(file, state);
        }
        return true;
    } catch (const tavrin::EFileError&) {
        return false;
    }
}

std::string Expected(std::string value) {
    for (char& c : value) {
        c = (c == '\r' || c == '\n') ? ' ' : c;
    }
    return std::string(tavrin::TrimBlanks(value).substr(0, tavrin::kProfileValueLimit));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    tavrin::test::TSavedState state;
    state.FMin = input.ConsumeRandomLengthString(64);
    state.RrefValues.assign(input.ConsumeIntegralInRange<size_t>(0, 40), "");
    for (std::string& value : state.RrefValues) {
        value = input.ConsumeRandomLengthString(16);
    }
    state.Mode = input.ConsumeIntegral<int32_t>();
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const fs::path oneByOnePath = Folder() / "one.ini";
    const fs::path batchedPath = Folder() / "batch.ini";
    Write(oneByOnePath, bytes);
    Write(batchedPath, bytes);
    tavrin::TSettingsFile oneByOne(oneByOnePath.string());
    tavrin::TSettingsFile batched(batchedPath.string());

    const bool usable = batched.Problem().empty();
    Check(usable == oneByOne.Problem().empty(), "the two files read differently");
    (void)batched.ReadInt("Graph", "Mode", 0);
    (void)batched.ReadText("Rref", "Value0", "0");

    const bool savedOneByOne = Save(oneByOne, state, false);
    const bool savedBatched = Save(batched, state, true);
    Check(savedOneByOne == usable && savedBatched == usable, "a save failed or a refusal wrote");
    Check(Read(oneByOnePath) == Read(batchedPath), "the update wrote other bytes");
    if (usable) {
        Check(batched.ReadText("WaveSetup", "FMin", "?") == Expected(state.FMin), "FMin");
        Check(batched.ReadInt("Graph", "Mode", 0) == state.Mode, "Mode");
        Check(batched.ReadInt("Rref", "Count", -1) == static_cast<int32_t>(state.RrefValues.size()),
              "Count");
        for (size_t i = 0; i < state.RrefValues.size(); ++i) {
            Check(batched.ReadText("Rref", "Value" + std::to_string(i), "?") ==
                      Expected(state.RrefValues[i]),
                  "an R ref value");
        }
    } else {
        Check(Read(batchedPath) == bytes, "a refused file was changed");
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder())) {
        ++files;
    }
    Check(files == 2, "a temporary file was left behind");
    return 0;
}
