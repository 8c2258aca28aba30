#pragma once

// A remembered-value list without widgets (R ref in the program): the texts the user entered, the
// entry that edits apply to, the text being typed and Value, the last number that parsed, with
// the section of the settings file that keeps the list. The window's value box is a view of it;
// the command line sets its text directly. User-interface thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

class TSettingsFile;

class TValueHistory {
  public:
    // One entry "0", selected; Value 0.
    TValueHistory();

    const std::vector<std::string>& Entries() const { return FEntries; }
    // The selected entry; -1 when none is.
    int32_t Current() const { return FCurrent; }
    // The text being typed, and whether it is a number (in force).
    const std::string& Text() const { return FText; }
    bool TextInForce() const { return FTextInForce; }
    float Value() const { return FValue; }

    // The settings-file section; "Values" unless the owner names one.
    const std::string& SectionName() const { return Section; }
    void SetSectionName(std::string sectionName) { Section = std::move(sectionName); }

    // Applies a typed text with entry `selected` picked (-1: none): a number replaces the entry
    // edits apply to, selects it and becomes Value; anything else changes nothing but the text.
    // True when the text is a number.
    bool Apply(std::string_view text, int32_t selected);
    bool Apply(std::string_view text) { return Apply(text, FCurrent); }
    // A new empty entry after the current one, selected, with an empty text (the Enter key).
    void AddEntry();
    // Removes the entry edits apply to and shows its neighbour (the Backspace key in an empty
    // box). False, changing nothing, when the text is not empty or only one entry is left.
    bool RemoveEntry();
    // Writes x in the short number form ("1", "5E-007") and applies it like a typed text.
    void SetValue(float x);

    // Restores the list and the selected entry, then applies the selected entry's text. A
    // section without a usable "Count" leaves the list as it is.
    void LoadSettings(const TSettingsFile& settings);
    // Rewrites the section afresh, so a list that shrank leaves no stale keys behind. Throws
    // what the settings file throws when a value cannot be written.
    void SaveSettings(TSettingsFile& settings) const;

    // The views': raised after anything above changed the state.
    std::function<void()> OnStateChange;

  private:
    bool ApplyQuietly(std::string_view text, int32_t selected);
    void RaiseStateChange();

    std::vector<std::string> FEntries{"0"};
    int32_t FCurrent = 0;
    int32_t EntryIndex = 0;
    std::string FText = "0";
    bool FTextInForce = true;
    float FValue = 0;
    std::string Section = "Values";
};

}  // namespace tavrin
