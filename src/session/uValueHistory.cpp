#include "uValueHistory.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

// A stored count above this is not a list anybody typed: reading that many keys, each a file
// access, would hang the start-up.
constexpr int32_t kMaxStoredEntries = 10000;

std::string ValueKey(int32_t index) {
    return "Value" + FormatIniInt(index);
}

}  // namespace

TValueHistory::TValueHistory() = default;

bool TValueHistory::Apply(std::string_view text, int32_t selected) {
    const bool accepted = ApplyQuietly(text, selected);
    RaiseStateChange();
    return accepted;
}

bool TValueHistory::ApplyQuietly(std::string_view text, int32_t selected) {
    const std::string stripped(TrimBlanks(text));
    if (selected >= 0) {
        EntryIndex = selected;
    }
    // After a load that selected nothing, the remembered index may lie beyond the new list.
    EntryIndex = std::clamp(EntryIndex, 0, std::max(0, static_cast<int32_t>(FEntries.size()) - 1));

    const std::optional<double> number = ParseTypedNumber(stripped);
    FTextInForce = number && std::fabs(*number) <= std::numeric_limits<float>::max();
    if (!FTextInForce) {
        FText = std::string(text);
        return false;
    }
    FEntries[static_cast<size_t>(EntryIndex)] = stripped;
    FCurrent = EntryIndex;
    FText = stripped;
    FValue = static_cast<float>(*number);
    return true;
}

void TValueHistory::AddEntry() {
    ++EntryIndex;
    FEntries.insert(FEntries.begin() + EntryIndex, std::string());
    FCurrent = EntryIndex;
    FText.clear();
    RaiseStateChange();
}

bool TValueHistory::RemoveEntry() {
    if (FEntries.size() <= 1 || !FText.empty()) {
        return false;
    }
    FEntries.erase(FEntries.begin() + EntryIndex);
    if (EntryIndex > 0) {
        --EntryIndex;
    }
    FCurrent = EntryIndex;
    ApplyQuietly(FEntries[static_cast<size_t>(EntryIndex)], EntryIndex);
    RaiseStateChange();
    return true;
}

void TValueHistory::SetValue(float x) {
    Apply(FormatValueBoxNumber(x));
}

void TValueHistory::LoadSettings(const TSettingsFile& settings) {
    const int32_t count = settings.ReadInt(Section, "Count", 0);
    if (count > 0 && count <= kMaxStoredEntries) {
        FEntries.clear();
        for (int32_t i = 0; i < count; ++i) {
            FEntries.push_back(settings.ReadText(Section, ValueKey(i), "0"));
        }
        const int32_t current = settings.ReadInt(Section, "CurrentIndex", 0);
        FCurrent = current >= 0 && current < count ? current : -1;
        FText = FCurrent >= 0 ? FEntries[static_cast<size_t>(FCurrent)] : std::string();
    }
    Apply(FText);
}

void TValueHistory::SaveSettings(TSettingsFile& settings) const {
    settings.DropSection(Section);
    const int32_t count = static_cast<int32_t>(FEntries.size());
    settings.WriteInt(Section, "Count", count);
    for (int32_t i = 0; i < count; ++i) {
        settings.WriteText(Section, ValueKey(i), FEntries[static_cast<size_t>(i)]);
    }
    settings.WriteInt(Section, "CurrentIndex", std::max(0, FCurrent));
}

void TValueHistory::RaiseStateChange() {
    if (OnStateChange) {
        OnStateChange();
    }
}

}  // namespace tavrin
