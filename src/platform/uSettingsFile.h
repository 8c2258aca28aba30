#pragma once

#include <sys/types.h>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "uFileReplace.h"
#include "uIniDocument.h"

namespace tavrin {

// The settings file as its writers see it: typed values by section and key. A read returns the
// default when the file, section or key is missing or unreadable, or the text is not of the
// requested type. Value formats: FormatIni.../ParseIni... of uNumberText.h. Used on the
// user-interface thread only.
//
// Reads see the file as it is on disk (it is parsed again only when it has changed). A write or
// DropSection on its own replaces the file at once; between BeginUpdate and EndUpdate they are
// gathered and the file is replaced once, with exactly the bytes the same calls one by one would
// have left, so that a save killed half-way leaves the old file whole and two programs saving at
// once cannot mix their values. A write or DropSection that cannot be done throws EFileError with
// "Impossible d'écrire dans <full path>", in an update too: its first change checks that the file
// can be read and replaced.
class TSettingsFile {
  public:
    // A relative path is taken against the current folder and kept in full.
    explicit TSettingsFile(std::string path);

    const std::string& Path() const { return FilePath; }

    // Why the file's values cannot be used, as a sentence for the user; empty when they can (a
    // missing file can: it reads as all defaults). A file that is not a regular file, cannot be
    // read or is in UTF-16 is neither read nor written.
    std::string Problem() const;

    std::string ReadText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadFlag(std::string_view section, std::string_view key, bool defaultValue) const;
    double ReadReal(std::string_view section, std::string_view key, double defaultValue) const;

    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int32_t value);
    void WriteFlag(std::string_view section, std::string_view key, bool value);
    void WriteReal(std::string_view section, std::string_view key, double value);
    void DropSection(std::string_view section);

    // Updates nest; the outermost EndUpdate replaces the file, and only when something was
    // written. EndUpdate throws EFileError when the file cannot be replaced.
    void BeginUpdate();
    void EndUpdate();

  private:
    // The file as last read, and how to tell whether it has changed since.
    struct TSnapshot {
        bool Exists = false;
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = 0;
        int64_t Modified = 0;  // ns
        int64_t Changed = 0;   // ns
        TFileBytes::TStatus Status = TFileBytes::TStatus::Missing;
        int Error = 0;
        bool Utf16 = false;
        TIniDocument Document;

        bool Usable() const;
    };

    const TSnapshot& Current() const;
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // The update's text, read at its first change; throws when the file cannot be read.
    TIniDocument& Pending();
    // After a change to the update's text: the first one checks that the file can be replaced.
    void Changed();
    [[noreturn]] void ThrowWriteError() const;

    std::string FilePath;
    mutable std::optional<TSnapshot> Snapshot;
    int UpdateDepth = 0;
    std::optional<TIniDocument> PendingDocument;
    bool PendingChanged = false;
};

// One save: BeginUpdate now, EndUpdate at Commit. Left by an exception instead, it still writes
// what was gathered (the writes before the one that failed, as one by one they would already
// have been), and a failure to do so gives way to the exception in flight.
class TSettingsUpdate {
  public:
    explicit TSettingsUpdate(TSettingsFile& file);
    ~TSettingsUpdate();
    TSettingsUpdate(const TSettingsUpdate&) = delete;
    TSettingsUpdate& operator=(const TSettingsUpdate&) = delete;

    // Throws EFileError when the file cannot be replaced.
    void Commit();

  private:
    TSettingsFile& File;
    bool Ended = false;
};

}  // namespace tavrin
