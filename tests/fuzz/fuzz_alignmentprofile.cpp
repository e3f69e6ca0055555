// The alignment profile reader on whatever a *.alg file holds.
//
// Beyond crashes: a file refused leaves the profile as it was; a file taken
// gives a 3 x 3 matrix of finite entries within the bound a correction can
// have, and a type of the type table.
#include "alignmentprofile.h"
#include "matrixcheck.h"
#include "sensortypes.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The reader takes a file name, so every input is written to a file first: in
// memory where the system has a tmpfs for it, since a disk write per input
// would cost more than the read. Removed when the run ends.
const QString& profilePath()
{
    static const QString path = QStringLiteral("%1/fuzz_alignmentprofile_%2.alg")
                                    .arg(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                                   : QDir::tempPath())
                                    .arg(getpid());
    static const struct Removal {
        ~Removal() { QFile::remove(path); }
    } removal;
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(profilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        if (file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != qint64(size))
            std::abort();
    }
    const double kept[] = {2, 0, 0, 0, 2, 0, 0, 0, 2};
    AlignmentProfile profile(5, QStringLiteral("kept"), Matrix(kept, 3, 3));
    if (profile.read(profilePath()) != AlignmentProfile::ReadResult::Ok) {
        // A refused file changes nothing.
        const Matrix m = profile.matrix();
        if (profile.sensorType() != 5 || profile.serialNumber() != QLatin1String("kept") || m.GetRows() != 3
            || m.GetColumns() != 3 || std::memcmp(m.GetDataOneDimen().data(), kept, sizeof kept) != 0)
            std::abort();
        return 0;
    }
    // What was accepted must be what the reader promises: a 3 x 3 matrix a
    // display can be sent numbers from, and a type of the type table.
    const Matrix m = profile.matrix();
    if (m.GetRows() != 3 || m.GetColumns() != 3 || profile.sensorType() < 0
        || profile.sensorType() >= kSensorTypeCount)
        std::abort();
    for (const double entry : m.GetDataOneDimen())
        if (!std::isfinite(entry) || std::fabs(entry) > MatrixCheck::MaxEntry)
            std::abort();
    return 0;
}
