#pragma once

// The reference curves the user keeps to compare against: at most kReferenceLimit, each with a
// unique name, shown or hidden, kept in a file of their own (uReferenceFile.h) that every change
// rewrites as a whole. Not thread-safe: one owner, one thread.

#include <optional>
#include <string>
#include <vector>

#include "uReferenceFile.h"

namespace tavrin {

class TReferenceStore {
  public:
    // `path` is the store's file; nothing is read until Load.
    explicit TReferenceStore(std::string path);

    // Reads the file, replacing the curves held. Nothing when the file is missing or whole;
    // otherwise the text for the user: the curves before the damage are kept, and a damaged file
    // is first copied beside itself as "<file>.damaged", so that the next save loses nothing.
    std::optional<std::string> Load();

    const std::vector<TReference>& References() const { return Items; }
    // The index of the curve of that name, if any.
    std::optional<size_t> Find(std::string_view name) const;

    // Keeps `trace` under `name`: a curve of the same name is replaced where it stands, a new
    // name is added at the end. The text for the user when the name is not acceptable, the
    // store is full, the trace is empty or disordered, or the file cannot be written; then
    // nothing has changed.
    std::optional<std::string> Store(std::string_view name, TTrace trace);
    std::optional<std::string> Remove(size_t index);
    std::optional<std::string> Rename(size_t index, std::string_view name);
    std::optional<std::string> SetShown(size_t index, bool shown);

    // Names are trimmed, non-empty, at most kNameLimit bytes, with no control characters.
    static constexpr size_t kNameLimit = 80;
    // Why a name (as given, before trimming) cannot be kept, if it cannot.
    static std::optional<std::string> NameProblem(std::string_view name);

  private:
    // Every change is written at once and undone when the file cannot be written.
    std::optional<std::string> Save() const;

    std::string Path;
    std::vector<TReference> Items;
};

}  // namespace tavrin
