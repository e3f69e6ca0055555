// The matrix readers: the data-stream form (as profiles store it) and the two
// text forms.
//
// Beyond crashes: a matrix taken from the stream holds exactly the elements
// its bytes give; a text refused leaves the matrix as it was, and one taken
// gives finite numbers.
//
// Input: one byte choosing the reader; for the text forms two more bytes give
// the size of the matrix that reads (1-8 rows and columns); the rest is read.
#include "matrix.h"

#include <QByteArray>
#include <QDataStream>
#include <QtEndian>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t which = data[0] % 3;
    if (which == 0) {
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1),
                                                         static_cast<int>(size - 1));
        QDataStream in(bytes);
        in.setVersion(QDataStream::Qt_5_1);
        Matrix m;
        in >> m;
        if (in.status() != QDataStream::Ok)
            return 0;
        // Taken: the matrix is what the bytes say, element for element.
        const qint64 rows = qFromBigEndian<qint32>(bytes.constData());
        const qint64 cols = qFromBigEndian<qint32>(bytes.constData() + 4);
        if (rows * cols > 0) {
            if (m.GetRows() != rows || m.GetColumns() != cols)
                std::abort();
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < cols; ++c) {
                    const quint64 bits = qFromBigEndian<quint64>(bytes.constData() + 8 + 8 * (r * cols + c));
                    const double element = m(r, c);
                    if (std::memcmp(&bits, &element, sizeof bits) != 0)
                        std::abort();
                }
            }
        }
        if (m.GetRows() == m.GetColumns() && m.GetRows() <= 6)
            (void)m.Determinant();
        return 0;
    }
    const int rows = 1 + data[1] % 8;
    const int cols = 1 + data[2] % 8;
    Matrix m(0.0, rows, cols);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 3), size - 3));
    // Each element starts as a value no text gives here by chance.
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            m(r, c) = -0.5 - r * 8 - c;
    }
    const Matrix before = m;
    if (which == 1)
        m.Read(in);
    else
        m.Input(in);
    if (m.GetRows() != rows || m.GetColumns() != cols)
        std::abort(); // the readers fill the existing storage only
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            // A text refused changes nothing; one taken gives finite numbers.
            const double now = m(r, c);
            const double was = before(r, c);
            if (in.fail() ? std::memcmp(&now, &was, sizeof now) != 0 : !std::isfinite(now))
                std::abort();
        }
    }
    return 0;
}
