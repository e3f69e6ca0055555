// The alignment profile reader on whatever a *.alg file holds.
#include "alignmentprofile.h"

#include <QFile>
#include <QString>

#include <unistd.h>

#include <cstdlib>

namespace {

QString profilePath()
{
    static const QString path = QStringLiteral("/tmp/fuzz_alignmentprofile_%1.alg").arg(getpid());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(profilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    AlignmentProfile profile;
    if (profile.read(profilePath()) == AlignmentProfile::ReadResult::Ok) {
        // What was accepted must be what the reader promises.
        const Matrix m = profile.matrix();
        if (m.GetRows() != 3 || m.GetColumns() != 3)
            std::abort();
    }
    return 0;
}
