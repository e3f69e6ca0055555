#ifndef NONREGULARFILE_H
#define NONREGULARFILE_H

#include <QMetaType>
#include <QString>

// A name in the file system that is not a regular file (a FIFO, a socket, a
// directory), made for a test and kept as long as the object lives, and what
// kind of thing a name is, without following a link.
class NonRegularFile
{
public:
    enum Kind : char {
        Missing = '-',
        Regular = 'f',
        Link = 'l',
        Fifo = 'p',
        Socket = 's',
        Directory = 'd',
        CharDevice = 'c',
        Other = '?',
    };

    NonRegularFile(Kind kind, const QString& path);
    ~NonRegularFile();
    NonRegularFile(const NonRegularFile&) = delete;
    NonRegularFile& operator=(const NonRegularFile&) = delete;

    // False when the system would not make it.
    bool isMade() const { return m_made; }

    static Kind kindAt(const QString& path);

private:
    int m_socket = -1;
    bool m_made = false;
};

Q_DECLARE_METATYPE(NonRegularFile::Kind)

#endif // NONREGULARFILE_H
