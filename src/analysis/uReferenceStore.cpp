#include "uReferenceStore.h"

#include <utility>

#include "uFileReplace.h"
#include "uNumberText.h"

namespace tavrin {

TReferenceStore::TReferenceStore(std::string path) : Path(std::move(path)) {}

std::optional<std::string> TReferenceStore::Load() {
    const std::optional<std::string> bytes = ReadFileIfAny(Path);
    if (!bytes) {
        return "Cannot read the reference curves in " + Path;
    }
    TReferenceFileRead read = ParseReferenceFile(*bytes, Path);
    Items = std::move(read.References);
    if (read.Damage.empty()) {
        return std::nullopt;
    }
    const std::string copy = Path + ".damaged";
    if (ReplaceFileContents(copy, *bytes)) {
        return read.Damage + ". The file was copied to " + copy + ".";
    }
    return read.Damage + ". Copying it to " + copy + " failed.";
}

std::optional<size_t> TReferenceStore::Find(std::string_view name) const {
    for (size_t i = 0; i < Items.size(); ++i) {
        if (Items[i].Name == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TReferenceStore::NameProblem(std::string_view name) {
    name = TrimBlanks(name);
    if (name.empty()) {
        return "A reference needs a name";
    }
    if (name.size() > kNameLimit) {
        return "A reference name has at most " + std::to_string(kNameLimit) + " characters";
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return "A reference name cannot hold control characters";
        }
    }
    return std::nullopt;
}

std::optional<std::string> TReferenceStore::Store(std::string_view name, TTrace trace) {
    if (auto problem = NameProblem(name)) {
        return problem;
    }
    const std::string kept(TrimBlanks(name));
    if (trace.Points.empty()) {
        return std::string("There is no curve to keep");
    }
    if (trace.Points.size() > kTracePointLimit || FirstDisorderedPoint(trace.Points)) {
        return std::string("This curve cannot be kept: its points are not in order");
    }
    if (const std::optional<size_t> same = Find(kept)) {
        std::swap(Items[*same].Trace, trace);
        auto error = Save();
        if (error) {
            std::swap(Items[*same].Trace, trace);
        }
        return error;
    }
    if (Items.size() >= kReferenceLimit) {
        return "There are " + std::to_string(kReferenceLimit) +
               " references already; remove one first";
    }
    Items.push_back({kept, true, std::move(trace)});
    auto error = Save();
    if (error) {
        Items.pop_back();
    }
    return error;
}

std::optional<std::string> TReferenceStore::Remove(size_t index) {
    if (index >= Items.size()) {
        return std::string("No such reference");
    }
    const auto at = Items.begin() + static_cast<std::ptrdiff_t>(index);
    TReference removed = std::move(*at);
    Items.erase(at);
    auto error = Save();
    if (error) {
        Items.insert(Items.begin() + static_cast<std::ptrdiff_t>(index), std::move(removed));
    }
    return error;
}

std::optional<std::string> TReferenceStore::Rename(size_t index, std::string_view name) {
    if (auto problem = NameProblem(name)) {
        return problem;
    }
    const std::string kept(TrimBlanks(name));
    if (index >= Items.size()) {
        return std::string("No such reference");
    }
    const std::optional<size_t> same = Find(kept);
    if (same && *same != index) {
        return "There is a reference named " + kept + " already";
    }
    std::string old = std::exchange(Items[index].Name, kept);
    auto saveError = Save();
    if (saveError) {
        Items[index].Name = std::move(old);
    }
    return saveError;
}

std::optional<std::string> TReferenceStore::SetShown(size_t index, bool shown) {
    if (index >= Items.size()) {
        return std::string("No such reference");
    }
    if (Items[index].Shown == shown) {
        return std::nullopt;
    }
    Items[index].Shown = shown;
    auto error = Save();
    if (error) {
        Items[index].Shown = !shown;
    }
    return error;
}

std::optional<std::string> TReferenceStore::Save() const {
    if (!ReplaceFileContents(Path, FormatReferenceFile(Items))) {
        return "Cannot write the reference curves to " + Path;
    }
    return std::nullopt;
}

}  // namespace tavrin
