#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tavrin::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempFolder {
  public:
    TempFolder() {
        // A name nobody has taken: creating a folder that exists fails, so no two tests share one.
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::error_code error;
            const std::filesystem::path candidate =
                base / ("tavrin-test-" + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) {
                Root = candidate;
                return;
            }
        }
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(Root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(Root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // In the system's own spelling (backslashes on Windows), as the system gives paths back.
    std::string Path(const std::string& name) const {
        return (Root / name).make_preferred().string();
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Root)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path Root;
};

// Whether file permissions stop nobody: root on Linux writes read-only files, where Windows's
// read-only attribute stops everyone.
inline bool RunsAsSuperUser() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace tavrin::test
