#include "nonregularfile.h"

#include <QDir>
#include <QFile>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

NonRegularFile::NonRegularFile(Kind kind, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case Fifo:
        m_made = ::mkfifo(name.constData(), 0600) == 0;
        break;
    case Directory:
        m_made = QDir().mkdir(path);
        break;
    case Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof address.sun_path)
            break;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        m_made = m_socket >= 0
                 && ::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        break;
    }
    default:
        break;
    }
}

NonRegularFile::~NonRegularFile()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

NonRegularFile::Kind NonRegularFile::kindAt(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Missing;
    if (S_ISREG(info.st_mode))
        return Regular;
    if (S_ISLNK(info.st_mode))
        return Link;
    if (S_ISFIFO(info.st_mode))
        return Fifo;
    if (S_ISSOCK(info.st_mode))
        return Socket;
    if (S_ISDIR(info.st_mode))
        return Directory;
    if (S_ISCHR(info.st_mode))
        return CharDevice;
    return Other;
}
