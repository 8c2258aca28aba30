#pragma once

// The value history box: an editable combo box that remembers the numbers typed into it (R ref
// in the main window), a view of a remembered-value list. Value is the last number that parsed;
// each keystroke that leaves a number in the box updates the current entry in place. Enter adds
// an empty entry after the current one; Backspace in an empty box removes the current entry
// (never the last one). Raises no events: the owner reads Value when it needs it.
// User-interface thread only.

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;

namespace tavrin {

class TSettingsFile;
class TValueHistory;

class TfrValues : public QWidget {
    Q_OBJECT

  public:
    // A box with a list of its own.
    explicit TfrValues(QWidget* parent = nullptr);
    // A view of the owner's list, which must outlive the box.
    explicit TfrValues(TValueHistory& model, QWidget* parent = nullptr);
    ~TfrValues() override;

    // Writes x in the box's short number form ("1", "5E-007") and applies it like a typed text.
    void SetValue(float x);
    float Value() const;

    // The settings-file section of this box; "Values" unless the owner names one.
    const std::string& SectionName() const;
    void SetSectionName(std::string sectionName);

    // Restores the list and the selected entry, then applies the box's text. A section without
    // a usable "Count" leaves the list as it is.
    void LoadSettings(const TSettingsFile& settings);
    // Rewrites the section afresh, so a list that shrank leaves no stale keys behind. Throws
    // what the settings file throws when a value cannot be written.
    void SaveSettings(TSettingsFile& settings) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Init();
    // Puts the list's state into the box.
    void Refresh();
    // Applies the box's text: a number replaces the current entry and becomes Value; anything
    // else turns the text red and changes nothing.
    void cbValChange();
    // True when the key has been dealt with and must not reach the box.
    bool cbValKeyDown(int key);
    // Changes the box's contents without applying each intermediate text.
    template <typename Change>
    void Quietly(Change change);

    QComboBox* cbVal = nullptr;
    std::unique_ptr<TValueHistory> OwnModel;
    TValueHistory& Model;
    bool Applying = false;
};

}  // namespace tavrin
