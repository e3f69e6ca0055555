#include "matrix.h"

#include <QBuffer>
#include <QDataStream>
#include <QtTest>

#include <cmath>
#include <limits>
#include <cstring>
#include <sstream>

namespace {

// Expects one ErrorMsg report with this text.
void expectReport(const char* text)
{
    QTest::ignoreMessage(QtDebugMsg, QByteArray('"' + QByteArray(text) + '"').constData());
}

Matrix m3(std::initializer_list<double> v)
{
    return Matrix(std::data(v), 3, 3);
}

double maxAbsDiff(const Matrix& a, const Matrix& b)
{
    double worst = 0.0;
    for (int r = 0; r < a.GetRows(); ++r)
        for (int c = 0; c < a.GetColumns(); ++c)
            worst = std::max(worst, std::fabs(a(r, c) - b(r, c)));
    return worst;
}

bool allFinite(const Matrix& m)
{
    for (double e : m.GetDataOneDimen())
        if (!std::isfinite(e))
            return false;
    return true;
}

} // namespace

class TestMatrix : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void copiesAreDeep();
    void arithmetic();
    void sizeFaultsReportAndStayInside();
    void divisionByZeroStillDivides();
    void equalityAndPredicates();
    void inverseOfWellConditionedMatrices_data();
    void inverseOfWellConditionedMatrices();
    void inverseWithoutRowExchange();
    void determinant();
    void appendAndRemoveIdentity();
    void textForms();
    void readAndInputStayInsideStorage();
    void dataStreamRoundTripIsExact();
    void dataStreamLayout();
    void corruptDataStreamsAreRejected_data();
    void corruptDataStreamsAreRejected();
};

void TestMatrix::construction()
{
    const double flat[] = {1, 2, 3, 4, 5, 6};
    const Matrix a(flat, 2, 3);
    QCOMPARE(a.GetRows(), 2);
    QCOMPARE(a.GetColumns(), 3);
    QCOMPARE(a(0, 2), 3.0);
    QCOMPARE(a(1, 0), 4.0);
    QCOMPARE(a[1][2], 6.0);

    const double row0[] = {7, 8};
    const double row1[] = {9, 10};
    const double* rows[] = {row0, row1};
    const Matrix b(rows, 2, 2);
    QCOMPARE(b(1, 0), 9.0);

    const Matrix f([](double r, double c) { return 10 * r + c; }, 2, 3);
    QCOMPARE(f(1, 2), 12.0);

    const Matrix empty;
    QCOMPARE(empty.GetRows(), 0);
    QCOMPARE(empty.GetColumns(), 0);

    // Negative sizes give an empty matrix rather than a wild allocation.
    const Matrix negative(1.0, -3, 2);
    QCOMPARE(negative.GetRows(), 0);
    QCOMPARE(negative.GetColumns(), 0);

    QVERIFY(Matrix::IdentityMatrix(3).IsIdentity());
    QVERIFY(IdentityMatrix(4) == Matrix::IdentityMatrix(4));
}

void TestMatrix::copiesAreDeep()
{
    Matrix a(1.0, 2, 2);
    Matrix b(a);
    Matrix c;
    c = a;
    a(0, 0) = 5.0;
    a[1][1] = 6.0;
    QCOMPARE(b(0, 0), 1.0);
    QCOMPARE(c(1, 1), 1.0);

    Matrix& self = c;
    c = self;
    QCOMPARE(c.GetRows(), 2);
    QCOMPARE(c(0, 0), 1.0);

    Matrix moved(std::move(b));
    QCOMPARE(moved(0, 1), 1.0);
}

void TestMatrix::arithmetic()
{
    const double av[] = {1, 2, 3, 4, 5, 6};
    const double bv[] = {7, 8, 9, 10, 11, 12};
    const Matrix a(av, 2, 3);
    const Matrix b(bv, 3, 2);

    const Matrix product = a * b;
    QCOMPARE(product.GetRows(), 2);
    QCOMPARE(product.GetColumns(), 2);
    QCOMPARE(product(0, 0), 58.0);
    QCOMPARE(product(0, 1), 64.0);
    QCOMPARE(product(1, 0), 139.0);
    QCOMPARE(product(1, 1), 154.0);

    const Matrix sum = a + a;
    QCOMPARE(sum(1, 2), 12.0);
    QVERIFY((sum - a) == a);
    QCOMPARE((a * 2)(0, 1), 4.0);
    QCOMPARE((a * 0.5)(0, 1), 1.0);
    QCOMPARE((a / 4)(1, 2), 1.5);
    // A true division: 1/3 as a multiplier would not round-trip exactly.
    QCOMPARE((Matrix(1.0, 1, 1) / 3.0)(0, 0), 1.0 / 3.0);

    Matrix acc(av, 2, 3);
    acc += a;
    acc -= a;
    acc *= 3;
    acc /= 3.0;
    QVERIFY(acc == a);
    acc *= b;
    QVERIFY(acc == product);

    const Matrix t = a.GetTransposed();
    QCOMPARE(t.GetRows(), 3);
    QCOMPARE(t(2, 1), 6.0);
    Matrix tt(a);
    tt.Transpose().Transpose();
    QVERIFY(tt == a);

    // Division by a matrix is multiplication by its inverse.
    const Matrix m = m3({2, 0, 0, 0, 4, 0, 0, 0, 8});
    const Matrix q = m / m;
    QVERIFY(maxAbsDiff(q, Matrix::IdentityMatrix(3)) < 1e-15);
    QVERIFY(maxAbsDiff(~m * m, Matrix::IdentityMatrix(3)) < 1e-15);
}

void TestMatrix::sizeFaultsReportAndStayInside()
{
    const Matrix a(1.0, 2, 3);
    const Matrix b(1.0, 3, 2);

    expectReport("mismatched matrices in addition");
    QCOMPARE((a + b).GetRows(), 0);
    expectReport("mismatched matrices in addition");
    QCOMPARE((a - b).GetColumns(), 0);
    expectReport("mismatched matrices in multiplication");
    QCOMPARE((a * a).GetRows(), 0);
    expectReport("not a square matrix for inverse");
    QCOMPARE(a.GetInverse().GetRows(), 0);
    expectReport("not a square matrix for inverse");
    QCOMPARE((~a).GetRows(), 0);
    expectReport("not a square matrix for inverse");
    QCOMPARE((b / a).GetRows(), 0);
    expectReport("not a square matrix for determinant");
    QVERIFY(std::isnan(a.Determinant()));

    // Compound forms keep the left operand on a fault.
    Matrix keep(a);
    expectReport("mismatched matrices in addition");
    keep += b;
    expectReport("mismatched matrices in multiplication");
    keep *= a;
    expectReport("not a square matrix for inverse");
    keep /= a;
    expectReport("not a square matrix for inverse");
    keep.Invert();
    QVERIFY(keep == a);

    // Out-of-range element access lands in scratch storage, not in the matrix.
    Matrix m(0.0, 2, 2);
    expectReport("out-of-bounds index");
    m(2, 0) = 7.0;
    expectReport("out-of-bounds index");
    m(0, -1) = 7.0;
    expectReport("out-of-bounds index");
    QVERIFY(std::isnan(static_cast<const Matrix&>(m)(5, 5)));
    expectReport("out-of-bound index");
    double* row = m[-1];
    row[0] = 9.0;
    row[1] = 9.0;
    expectReport("out-of-bound index");
    m[2][1] = 9.0;
    QVERIFY(m.IsEmpty());

    // A row handed out for a narrow matrix stays usable after a wider matrix
    // asks for one, and the wide one takes its last column (ASan catches both).
    Matrix narrow(0.0, 1, 2);
    Matrix wide(0.0, 1, 40);
    expectReport("out-of-bound index");
    double* narrowRow = narrow[3];
    expectReport("out-of-bound index");
    double* wideRow = wide[3];
    narrowRow[1] = 1.0;
    wideRow[39] = 2.0;
    QCOMPARE(narrowRow[1], 1.0);
    QCOMPARE(wideRow[39], 2.0);
    QCOMPARE(wide(0, 39), 0.0);
}

void TestMatrix::divisionByZeroStillDivides()
{
    const Matrix a(1.0, 1, 2);
    expectReport("divide by zero in double division");
    QVERIFY(std::isinf((a / 0.0)(0, 0)));
    expectReport("divide by zero in integer division");
    QVERIFY(std::isinf((a / 0)(0, 1)));
    Matrix d(0.0, 1, 1);
    expectReport("divide by zero in row division");
    d.DivideRow(0, 0.0);
    QVERIFY(std::isnan(d(0, 0)));
}

void TestMatrix::equalityAndPredicates()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Matrix a(0.0, 2, 2);
    Matrix b(0.0, 2, 2);
    QVERIFY(a == b);
    a(1, 0) = nan;
    b(1, 0) = nan;
    QVERIFY(!(a == b));
    QVERIFY(a != b);
    QVERIFY(Matrix(0.0, 2, 3) != Matrix(0.0, 3, 2));
    QVERIFY(Matrix(0.0, 0, 4) == Matrix(0.0, 0, 4));

    QVERIFY(Matrix().IsEmpty());
    QVERIFY(Matrix(0.0, 3, 3).IsEmpty());
    QVERIFY(!a.IsEmpty());

    QVERIFY(Matrix().IsIdentity());
    Matrix wide(0.0, 2, 3);
    wide(0, 0) = wide(1, 1) = 1.0;
    QVERIFY(!wide.IsIdentity());
    Matrix almost = Matrix::IdentityMatrix(3);
    almost(2, 1) = 1e-300;
    QVERIFY(!almost.IsIdentity());
}

void TestMatrix::inverseOfWellConditionedMatrices_data()
{
    QTest::addColumn<Matrix>("m");
    // Typical correction and RGB-to-XYZ matrices, and a general one.
    QTest::newRow("near-identity correction") << m3({1.02, -0.01, 0.005, 0.03, 0.98, -0.02,
                                                    -0.004, 0.012, 1.05});
    QTest::newRow("rgb to xyz") << m3({0.4124, 0.3576, 0.1805, 0.2126, 0.7152, 0.0722,
                                      0.0193, 0.1192, 0.9505});
    QTest::newRow("general") << m3({4, -2, 1, 3, 6, -4, 2, 1, 8});
}

void TestMatrix::inverseOfWellConditionedMatrices()
{
    QFETCH(Matrix, m);
    const Matrix inv = m.GetInverse();
    QVERIFY(maxAbsDiff(inv * m, Matrix::IdentityMatrix(3)) < 1e-12);
    QVERIFY(maxAbsDiff(m * inv, Matrix::IdentityMatrix(3)) < 1e-12);
    Matrix inPlace(m);
    inPlace.Invert();
    QVERIFY(inPlace == inv);
    QVERIFY(maxAbsDiff(m.GetRREF(), Matrix::IdentityMatrix(3)) < 1e-12);
}

void TestMatrix::inverseWithoutRowExchange()
{
    // No pivot search: a zero in the first pivot defeats the inversion.
    const double v[] = {0, 1, 1, 0};
    const Matrix swap(v, 2, 2);
    expectReport("divide by zero in row division");
    const Matrix inv = swap.GetInverse();
    QCOMPARE(inv.GetRows(), 2);
    QCOMPARE(inv.GetColumns(), 2);
    QVERIFY(!allFinite(inv));
}

void TestMatrix::determinant()
{
    // Worked by hand, expanding along the first row:
    //  | 2 1 3 0 |
    //  | 1 0 2 1 |   det = 2*det[[0,2,1],[1,1,2],[2,0,1]] - 1*det[[1,2,1],[0,1,2],[1,0,1]]
    //  | 0 1 1 2 |       + 3*det[[1,0,1],[0,1,2],[1,2,1]] - 0
    //  | 1 2 0 1 |       = 2*4 - 1*4 + 3*(-4) = -8
    const double v[] = {2, 1, 3, 0, 1, 0, 2, 1, 0, 1, 1, 2, 1, 2, 0, 1};
    QCOMPARE(Matrix(v, 4, 4).Determinant(), -8.0);
    QCOMPARE(m3({4, -2, 1, 3, 6, -4, 2, 1, 8}).Determinant(), 4 * 52 + 2 * 32 + 1 * (-9));
    const double two[] = {3, 8, 4, 6};
    QCOMPARE(Matrix(two, 2, 2).Determinant(), -14.0);
    QCOMPARE(Matrix(7.5, 1, 1).Determinant(), 7.5);
    QCOMPARE(Matrix::IdentityMatrix(5).Determinant(), 1.0);
}

void TestMatrix::appendAndRemoveIdentity()
{
    const double v[] = {1, 2, 3, 4};
    Matrix a(v, 2, 2);
    a.RightAppendIdentity();
    QCOMPARE(a.GetColumns(), 4);
    QCOMPARE(a(0, 1), 2.0);
    QCOMPARE(a(0, 2), 1.0);
    QCOMPARE(a(1, 3), 1.0);
    QCOMPARE(a(0, 3), 0.0);
    a.LeftRemoveIdentity();
    QVERIFY(a == Matrix::IdentityMatrix(2));

    const std::unique_ptr<Matrix> minor = m3({1, 2, 3, 4, 5, 6, 7, 8, 9}).GetMinorNew(1, 0);
    const double expected[] = {2, 3, 8, 9};
    QVERIFY(*minor == Matrix(expected, 2, 2));
}

void TestMatrix::textForms()
{
    const double v[] = {1, 2, 3, 4};
    std::ostringstream out;
    out << Matrix(v, 2, 2);
    QCOMPARE(QString::fromStdString(out.str()), QStringLiteral("[[1][2]\n [3][4]]\n"));

    const double w[] = {0.5, 2};
    std::ostringstream written;
    Matrix(w, 1, 2).Write(written);
    QCOMPARE(QString::fromStdString(written.str()),
             QStringLiteral("Rows: 1\nCols: 2\nData:\n0.5\n2\n"));

    // Read back what Write wrote, and Input what Output wrote.
    std::istringstream in(written.str());
    Matrix r(0.0, 1, 2);
    r.Read(in);
    QVERIFY(r == Matrix(w, 1, 2));

    std::istringstream text(out.str());
    Matrix parsed(0.0, 2, 2);
    parsed.Input(text);
    QVERIFY(parsed == Matrix(v, 2, 2));

    // Rows separated by a single character are accepted too.
    std::istringstream separated("[[1][2];[3][4]]");
    Matrix s(0.0, 2, 2);
    s.Input(separated);
    QVERIFY(s == Matrix(v, 2, 2));
}

void TestMatrix::readAndInputStayInsideStorage()
{
    // The text describes a 3x3 matrix; the target is 2x2 and must not change.
    std::istringstream bigger("Rows: 3\nCols: 3\nData:\n1\n2\n3\n4\n5\n6\n7\n8\n9\n");
    Matrix m(0.0, 2, 2);
    m.Read(bigger);
    QVERIFY(bigger.fail());
    QVERIFY(m == Matrix(0.0, 2, 2));

    // A text that stops early leaves the matrix as it was.
    std::istringstream shortText("Rows: 2\nCols: 2\nData:\n1\n2\n");
    m.Read(shortText);
    QVERIFY(m == Matrix(0.0, 2, 2));

    std::istringstream shortInput("[[1][2]");
    m.Input(shortInput);
    QVERIFY(shortInput.fail());
    QVERIFY(m == Matrix(0.0, 2, 2));
}

void TestMatrix::dataStreamRoundTripIsExact()
{
    const double v[] = {0.1, -1e-300, 6.02214076e23, 1.0 / 3.0, -0.0, 2.5e-310};
    const Matrix original(v, 3, 2);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << original;
    }
    Matrix restored(1.0, 3, 3);
    QDataStream in(bytes);
    in >> restored;
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(restored.GetRows(), 3);
    QCOMPARE(restored.GetColumns(), 2);
    const std::vector<double> a = original.GetDataOneDimen();
    const std::vector<double> b = restored.GetDataOneDimen();
    QCOMPARE(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

void TestMatrix::dataStreamLayout()
{
    const double v[] = {1.0, -2.0};
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << Matrix(v, 2, 1);
    // rows, cols as big-endian 32-bit, then IEEE doubles big-endian.
    const QByteArray expected = QByteArray::fromHex("00000002" "00000001"
                                                    "3ff0000000000000" "c000000000000000");
    QCOMPARE(bytes, expected);
}

void TestMatrix::corruptDataStreamsAreRejected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("negative rows") << QByteArray::fromHex("ffffffff00000001" "3ff0000000000000");
    QTest::newRow("negative cols") << QByteArray::fromHex("00000001ffffff00" "3ff0000000000000");
    QTest::newRow("product overflows") << QByteArray::fromHex("7fffffff7fffffff");
    QTest::newRow("huge promise, tiny stream")
        << QByteArray::fromHex("0000100000001000" "3ff0000000000000");
    QTest::newRow("one element short")
        << QByteArray::fromHex("0000000200000001" "3ff0000000000000");
    QTest::newRow("counts cut short") << QByteArray::fromHex("000000020000");
}

void TestMatrix::corruptDataStreamsAreRejected()
{
    QFETCH(QByteArray, bytes);
    Matrix target(5.0, 3, 3);
    QDataStream in(bytes);
    in >> target;
    QCOMPARE(in.status(), QDataStream::ReadCorruptData);
    QCOMPARE(target.GetRows(), 0);
    QCOMPARE(target.GetColumns(), 0);
}

QTEST_GUILESS_MAIN(TestMatrix)
#include "tst_matrix.moc"
