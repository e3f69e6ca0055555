#ifndef SPECIALFILE_H
#define SPECIALFILE_H

#include <QMetaType>
#include <QString>

// A name in the file system that is not a regular file (a FIFO, a socket, a
// directory), made for a test and kept as long as the object lives, and what
// kind of thing a name is, without following a link.
class SpecialFile
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

    SpecialFile(Kind kind, const QString& path);
    ~SpecialFile();
    SpecialFile(const SpecialFile&) = delete;
    SpecialFile& operator=(const SpecialFile&) = delete;

    // False when the system would not make it.
    bool isMade() const { return m_made; }

    static Kind kindAt(const QString& path);

private:
    int m_socket = -1;
    bool m_made = false;
};

Q_DECLARE_METATYPE(SpecialFile::Kind)

#endif // SPECIALFILE_H
