#include "uSettingsFile.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "uFileError.h"
#include "uIniProfile.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

std::string FullPath(std::string path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

#ifndef _WIN32
int64_t Nanoseconds(const timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}
#endif

}  // namespace

bool TSettingsFile::TSnapshot::Usable() const {
    return (Status == TFileBytes::TStatus::Read || Status == TFileBytes::TStatus::Missing) &&
           !Utf16;
}

TSettingsFile::TSettingsFile(std::string path) : FilePath(FullPath(std::move(path))) {}

const TSettingsFile::TSnapshot& TSettingsFile::Current() const {
    // What the file is is looked at before it is read: a change in between makes the next look
    // read it again, never keeps an old text under a new look.
    TSnapshot look;
    struct stat info {};
    look.Exists = ::stat(FilePath.c_str(), &info) == 0;
#ifdef _WIN32
    // Times of a second's grain could keep an old text for a whole second: every look reads.
    const bool reusable = false;
#else
    const bool reusable = true;
    if (look.Exists) {
        look.Device = info.st_dev;
        look.Inode = info.st_ino;
        look.Size = info.st_size;
        look.Modified = Nanoseconds(info.st_mtim);
        look.Changed = Nanoseconds(info.st_ctim);
    }
#endif
    if (reusable && Snapshot && Snapshot->Exists == look.Exists &&
        Snapshot->Device == look.Device && Snapshot->Inode == look.Inode &&
        Snapshot->Size == look.Size && Snapshot->Modified == look.Modified &&
        Snapshot->Changed == look.Changed) {
        return *Snapshot;
    }
    TFileBytes file = ReadWholeFile(FilePath);
    look.Status = file.Status;
    look.Error = file.Error;
    look.Utf16 = file.Status == TFileBytes::TStatus::Read && IsUtf16Text(file.Bytes);
    if (look.Usable()) {
        look.Document = TIniDocument(file.Bytes);
    }
    Snapshot = std::move(look);
    return *Snapshot;
}

std::string TSettingsFile::Problem() const {
    const TSnapshot& file = Current();
    std::string why;
    if (file.Status == TFileBytes::TStatus::NotRegular) {
        why = "it is not a regular file";
    } else if (file.Status == TFileBytes::TStatus::Unreadable) {
        why = std::generic_category().message(file.Error);
    } else if (file.Utf16) {
        why = "it is UTF-16 text";
    } else {
        return {};
    }
    return "Can not read the settings file " + FilePath + ": " + why +
           ". The settings start from their defaults and the file is left as it is.";
}

std::optional<std::string> TSettingsFile::Read(std::string_view section,
                                               std::string_view key) const {
    if (PendingDocument) {
        return PendingDocument->Read(section, key);
    }
    const TSnapshot& file = Current();
    return file.Usable() ? file.Document.Read(section, key) : std::nullopt;
}

std::string TSettingsFile::ReadText(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    std::optional<std::string> text = Read(section, key);
    return text ? std::move(*text) : std::string(defaultValue);
}

int32_t TSettingsFile::ReadInt(std::string_view section, std::string_view key,
                               int32_t defaultValue) const {
    const std::optional<std::string> text = Read(section, key);
    return text ? ParseIniInt(*text).value_or(defaultValue) : defaultValue;
}

bool TSettingsFile::ReadFlag(std::string_view section, std::string_view key,
                             bool defaultValue) const {
    const std::optional<std::string> text = Read(section, key);
    return text ? ParseIniFlag(*text).value_or(defaultValue) : defaultValue;
}

double TSettingsFile::ReadReal(std::string_view section, std::string_view key,
                               double defaultValue) const {
    const std::optional<std::string> text = Read(section, key);
    return text ? ParseIniReal(*text).value_or(defaultValue) : defaultValue;
}

void TSettingsFile::WriteText(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (UpdateDepth > 0) {
        if (!Pending().Write(section, key, value)) {
            ThrowWriteError();
        }
        Changed();
    } else if (!ProfileWrite(FilePath, section, key, value)) {
        ThrowWriteError();
    }
}

void TSettingsFile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
    WriteText(section, key, FormatIniInt(value));
}

void TSettingsFile::WriteFlag(std::string_view section, std::string_view key, bool value) {
    WriteText(section, key, FormatIniFlag(value));
}

void TSettingsFile::WriteReal(std::string_view section, std::string_view key, double value) {
    WriteText(section, key, FormatIniReal(value));
}

void TSettingsFile::DropSection(std::string_view section) {
    if (UpdateDepth > 0) {
        if (Pending().EraseSection(section)) {
            Changed();
        }
    } else if (!ProfileEraseSection(FilePath, section)) {
        ThrowWriteError();
    }
}

void TSettingsFile::BeginUpdate() {
    ++UpdateDepth;
}

void TSettingsFile::EndUpdate() {
    if (UpdateDepth == 0 || --UpdateDepth > 0) {
        return;
    }
    const bool write = PendingChanged;
    const std::string text = write ? PendingDocument->Text() : std::string();
    PendingDocument.reset();
    PendingChanged = false;
    if (write && !ReplaceFileContents(FilePath, text)) {
        ThrowWriteError();
    }
}

TIniDocument& TSettingsFile::Pending() {
    if (!PendingDocument) {
        // Read now, not from what an earlier read left: the update starts from the file as it is.
        Snapshot.reset();
        const TSnapshot& file = Current();
        if (!file.Usable()) {
            ThrowWriteError();
        }
        PendingDocument = file.Document;
    }
    return *PendingDocument;
}

void TSettingsFile::Changed() {
    if (!PendingChanged) {
        // The first change stops here, as it would on its own, when the file cannot be replaced.
        if (!CanReplaceFile(FilePath)) {
            ThrowWriteError();
        }
        PendingChanged = true;
    }
}

void TSettingsFile::ThrowWriteError() const {
    throw EFileError("Impossible d'écrire dans " + FilePath);
}

TSettingsUpdate::TSettingsUpdate(TSettingsFile& file) : File(file) {
    File.BeginUpdate();
}

TSettingsUpdate::~TSettingsUpdate() {
    if (Ended) {
        return;
    }
    try {
        File.EndUpdate();
    } catch (const EFileError&) {
        // The exception that brought us here is the one the user hears about.
    }
}

void TSettingsUpdate::Commit() {
    Ended = true;
    File.EndUpdate();
}

}  // namespace tavrin
