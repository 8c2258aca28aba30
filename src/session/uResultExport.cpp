#include "uResultExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "uFileOpen.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

// The runtime's file error codes the texts are keyed on.
constexpr int kFileNotFound = 2;
constexpr int kBadFileName = 3;
constexpr int kTooManyOpenFiles = 4;
constexpr int kAccessDenied = 5;
constexpr int kDiskFull = 101;

int CodeOf(int error) {
    switch (error) {
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return kBadFileName;
        case EMFILE:
        case ENFILE:
            return kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kAccessDenied;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG:
            return kDiskFull;
        default:
            return error;
    }
}

// False with the code when fewer bytes than requested could be written.
bool WriteAll(int fd, const std::string& text, int& code) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            code = written < 0 ? CodeOf(errno) : kDiskFull;
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

std::string InOutErrorText(int code) {
    switch (code) {
        case kFileNotFound:
            return "Fichier introuvable";
        case kBadFileName:
            return "Nom de fichier incorrect";
        case kTooManyOpenFiles:
            return "Trop de fichiers ouverts";
        case kAccessDenied:
            return "Accès au fichier refusé";
        case kDiskFull:
            return "Disque plein";
        default:
            return "Erreur E/S " + std::to_string(code);
    }
}

std::optional<std::string> ExportResults(const std::string& path, size_t count,
                                         const std::function<std::array<double, 3>(size_t)>& row) {
    const int fd = OpenFileDescriptor(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) {
        return InOutErrorText(CodeOf(errno));
    }
    int code = 0;
    std::string chunk;
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
        const std::array<double, 3> values = row(i);
        chunk += FormatExportNumber(values[0]) + ' ' + FormatExportNumber(values[1]) + ' ' +
                 FormatExportNumber(values[2]) + "\r\n";
        if (chunk.size() >= 65536 || i + 1 == count) {
            ok = WriteAll(fd, chunk, code);
            chunk.clear();
        }
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = CodeOf(errno);
    }
    if (!ok) {
        return InOutErrorText(code);
    }
    return std::nullopt;
}

}  // namespace tavrin
