// The matrix readers: the data-stream form (as profiles store it) and the two
// text forms.
//
// Input: one byte choosing the reader; for the text forms two more bytes give
// the size of the matrix that reads (1-8 rows and columns); the rest is read.
#include "matrix.h"

#include <QByteArray>
#include <QDataStream>

#include <cstdlib>
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
        if (in.status() == QDataStream::Ok && m.GetRows() == m.GetColumns() && m.GetRows() <= 6)
            (void)m.Determinant();
        return 0;
    }
    const int rows = 1 + data[1] % 8;
    const int cols = 1 + data[2] % 8;
    Matrix m(0.0, rows, cols);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 3), size - 3));
    if (which == 1)
        m.Read(in);
    else
        m.Input(in);
    if (m.GetRows() != rows || m.GetColumns() != cols)
        std::abort(); // the readers fill the existing storage only
    return 0;
}
