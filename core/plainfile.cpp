#include "plainfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinks = 40;

QString systemError()
{
    return qt_error_string(errno);
}

} // namespace

QString PlainFile::notAFile(unsigned mode)
{
    QString kind;
    if (S_ISDIR(mode))
        kind = tr("a directory");
    else if (S_ISCHR(mode))
        kind = tr("a character device");
    else if (S_ISBLK(mode))
        kind = tr("a block device");
    else if (S_ISFIFO(mode))
        kind = tr("a FIFO");
    else if (S_ISSOCK(mode))
        kind = tr("a socket");
    else
        kind = tr("something other than a file");
    return tr("it is %1, not a regular file").arg(kind);
}

PlainFile::ReadResult PlainFile::read(const QString& fileName, QByteArray* contents, QString* error,
                                      qint64 maxSize)
{
    const auto fail = [error](ReadResult result, const QString& reason) {
        if (error)
            *error = reason;
        return result;
    };
    const auto tooLarge = [&] {
        return fail(ReadResult::TooLarge, tr("it is larger than %1 bytes, more than such a file ever holds")
                                              .arg(maxSize));
    };
    if (fileName.isEmpty())
        return fail(ReadResult::CannotOpen, tr("no file name given"));
    const QByteArray path = QFile::encodeName(fileName);

    // Looked at before it is opened: opening a FIFO waits for a writer, and
    // opening a device may already act on it.
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return fail(ReadResult::CannotOpen, systemError());
    if (!S_ISREG(info.st_mode))
        return fail(ReadResult::NotAFile, notAFile(info.st_mode));
    if (info.st_size > maxSize)
        return tooLarge();

    // Should the name have been swapped for a FIFO meanwhile, opening it
    // without blocking returns at once, and the check below refuses it.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(ReadResult::CannotOpen, systemError());
    const auto closed = [fd](ReadResult result) {
        ::close(fd);
        return result;
    };
    if (::fstat(fd, &info) != 0)
        return closed(fail(ReadResult::CannotOpen, systemError()));
    if (!S_ISREG(info.st_mode))
        return closed(fail(ReadResult::NotAFile, notAFile(info.st_mode)));

    // Up to one byte more than allowed: a file that grew meanwhile is seen.
    QByteArray bytes;
    char chunk[16384];
    while (bytes.size() <= maxSize) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return closed(fail(ReadResult::CannotOpen, systemError()));
        if (got == 0)
            break;
        bytes.append(chunk, int(got));
    }
    ::close(fd);
    if (bytes.size() > maxSize)
        return tooLarge();
    *contents = bytes;
    return ReadResult::Read;
}

bool PlainFile::writeTarget(const QString& fileName, QString* target, QString* error)
{
    QString path = fileName;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info;
        // Whatever keeps the name from being looked at (a missing file or
        // directory, no permission) is for the writer to create or report.
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            *target = path;
            return true;
        }
        if (S_ISREG(info.st_mode)) {
            *target = path;
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            if (error)
                *error = notAFile(info.st_mode);
            return false;
        }
        char link[PATH_MAX];
        const ssize_t size = ::readlink(QFile::encodeName(path).constData(), link, sizeof link);
        if (size < 0 || size >= ssize_t(sizeof link)) {
            *target = path;
            return true;
        }
        // A relative link is relative to the directory that holds it.
        path = QFileInfo(path).dir().filePath(QFile::decodeName(QByteArray(link, int(size))));
    }
    if (error)
        *error = tr("it leads through more than %1 symbolic links").arg(kMaxLinks);
    return false;
}

bool PlainFile::writeWhole(const QString& fileName, const QByteArray& bytes, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    // A device, FIFO or socket of that name would be replaced by a file (or,
    // for /dev/full, take nothing and seem to have taken it all).
    QString target;
    QString refusal;
    if (!writeTarget(fileName, &target, &refusal))
        return fail(refusal);

    // The new file replaces the old one only once it is complete. Unbuffered,
    // so that a short write is seen here; a buffered one would only surface
    // when the file is closed, where it goes unreported.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason = written < 0 || file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                                         .arg(written)
                                         .arg(bytes.size());
        file.cancelWriting();
        file.commit();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
