#include "matrixchecks.h"

#include <QBuffer>
#include <QDataStream>
#include <QtTest>

#include <cstring>
#include <sstream>

using namespace MatrixChecks;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

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
    void echelonForms();
    void rowAndColumnOperations();
    void minorsAndSubMatrices();
    void sums();
    void extremesIgnoreLaterNaN();
    void fillingAndClearing();
    void concatenation();
    void spliceAndRemove();
    void sortingKeepsExactValues();
    void normalising();
    void covariance();
    void flatCopies();
    void outOfRangeIndicesChangeNothing();
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

    // Negative sizes give an empty matrix rather than a wild allocation.
    for (const Matrix& empty : {Matrix(), Matrix(1.0, -3, 2)})
        QVERIFY(empty.GetRows() == 0 && empty.GetColumns() == 0);

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
    const Matrix a = make(2, 3, {1, 2, 3, 4, 5, 6});
    const Matrix b = make(3, 2, {7, 8, 9, 10, 11, 12});

    const Matrix product = a * b;
    QVERIFY(product == make(2, 2, {58, 64, 139, 154}));

    const Matrix sum = a + a;
    QCOMPARE(sum(1, 2), 12.0);
    QVERIFY((sum - a) == a);
    QCOMPARE((a * 2)(0, 1), 4.0);
    QCOMPARE((a * 0.5)(0, 1), 1.0);
    QCOMPARE((a / 4)(1, 2), 1.5);
    // A true division: 1/3 as a multiplier would not round-trip exactly.
    QCOMPARE((Matrix(1.0, 1, 1) / 3.0)(0, 0), 1.0 / 3.0);

    Matrix acc(a);
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
    Matrix a(0.0, 2, 2);
    Matrix b(0.0, 2, 2);
    QVERIFY(a == b);
    a(1, 0) = kNaN;
    b(1, 0) = kNaN;
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
    expectReport("divide by zero in row division");
    const Matrix inv = make(2, 2, {0, 1, 1, 0}).GetInverse();
    QVERIFY(inv.GetRows() == 2 && inv.GetColumns() == 2);
    QVERIFY(std::isnan(maxAbsDiff(inv, inv))); // inf - inf is NaN too
}

void TestMatrix::determinant()
{
    // Worked by hand, expanding along the first row:
    //  | 2 1 3 0 |
    //  | 1 0 2 1 |   det = 2*det[[0,2,1],[1,1,2],[2,0,1]] - 1*det[[1,2,1],[0,1,2],[1,0,1]]
    //  | 0 1 1 2 |       + 3*det[[1,0,1],[0,1,2],[1,2,1]] - 0
    //  | 1 2 0 1 |       = 2*4 - 1*4 + 3*(-4) = -8
    QCOMPARE(make(4, 4, {2, 1, 3, 0, 1, 0, 2, 1, 0, 1, 1, 2, 1, 2, 0, 1}).Determinant(), -8.0);
    QCOMPARE(m3({4, -2, 1, 3, 6, -4, 2, 1, 8}).Determinant(), 4 * 52 + 2 * 32 + 1 * (-9));
    QCOMPARE(make(2, 2, {3, 8, 4, 6}).Determinant(), -14.0);
    QCOMPARE(Matrix(7.5, 1, 1).Determinant(), 7.5);
    QCOMPARE(Matrix::IdentityMatrix(5).Determinant(), 1.0);
}

void TestMatrix::appendAndRemoveIdentity()
{
    Matrix a = make(2, 2, {1, 2, 3, 4});
    a.RightAppendIdentity();
    QVERIFY(a == make(2, 4, {1, 2, 1, 0, 3, 4, 0, 1}));
    a.LeftRemoveIdentity();
    QVERIFY(a == Matrix::IdentityMatrix(2));

    const std::unique_ptr<Matrix> minor = m3({1, 2, 3, 4, 5, 6, 7, 8, 9}).GetMinorNew(1, 0);
    QVERIFY(*minor == make(2, 2, {2, 3, 8, 9}));
}

void TestMatrix::textForms()
{
    const Matrix v = make(2, 2, {1, 2, 3, 4});
    const Matrix w = make(1, 2, {0.5, 2});
    std::ostringstream out;
    out << v;
    QCOMPARE(QString::fromStdString(out.str()), QStringLiteral("[[1][2]\n [3][4]]\n"));

    std::ostringstream written;
    w.Write(written);
    QCOMPARE(QString::fromStdString(written.str()), QStringLiteral("Rows: 1\nCols: 2\nData:\n0.5\n2\n"));

    // Read back what Write wrote, and Input what Output wrote.
    std::istringstream in(written.str());
    Matrix r(0.0, 1, 2);
    r.Read(in);
    QVERIFY(r == w);

    std::istringstream text(out.str());
    Matrix parsed(0.0, 2, 2);
    parsed.Input(text);
    QVERIFY(parsed == v);

    // Rows separated by a single character are accepted too.
    std::istringstream separated("[[1][2];[3][4]]");
    Matrix s(0.0, 2, 2);
    s.Input(separated);
    QVERIFY(s == v);
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
    const Matrix original = make(3, 2, {0.1, -1e-300, 6.02214076e23, 1.0 / 3.0, -0.0, 2.5e-310});
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << original;
    }
    Matrix restored(1.0, 3, 3);
    QDataStream in(bytes);
    in >> restored;
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(restored.GetRows() == 3 && restored.GetColumns() == 2);
    const std::vector<double> a = original.GetDataOneDimen();
    const std::vector<double> b = restored.GetDataOneDimen();
    QCOMPARE(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

void TestMatrix::dataStreamLayout()
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << make(2, 1, {1.0, -2.0});
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
    QVERIFY(target.GetRows() == 0 && target.GetColumns() == 0);
}

void TestMatrix::echelonForms()
{
    const Matrix a = make(2, 3, {2, 4, 6, 1, 5, 9});
    // Forward pass: row1 -= 0.5 row0 -> (0, 3, 6); rows divided by their pivots.
    QVERIFY(a.GetREF() == make(2, 3, {1, 2, 3, 0, 1, 2}));
    // Backward pass clears above the second pivot.
    QVERIFY(a.GetRREF() == make(2, 3, {1, 0, -1, 0, 1, 2}));
    // A zero pivot in REF is not reported; it simply yields non-finite values.
    Matrix z = make(2, 2, {0, 1, 1, 0});
    z.REF();
    QVERIFY(!std::isfinite(z(1, 1)) || !std::isfinite(z(0, 0)));
}

void TestMatrix::rowAndColumnOperations()
{
    Matrix m = make(2, 2, {1, 2, 3, 4});
    m.AddRows(0, 1, -3).MultiplyRow(0, 2);
    QVERIFY(m == make(2, 2, {2, 4, 0, -2}));
    m.AddColumns(1, 0, 0.5).MultiplyColumn(1, -1);
    QVERIFY(m == make(2, 2, {4, -4, -1, 2}));
    m.DivideColumn(0, 4).SwapRows(0, 1).SwapCols(0, 1);
    QVERIFY(m == make(2, 2, {2, -0.25, -4, 1}));
    expectReport("divide by zero in column division");
    m.DivideColumn(1, 0.0);
    QVERIFY(std::isinf(m(0, 1)) && std::isinf(m(1, 1)));
}

void TestMatrix::minorsAndSubMatrices()
{
    const Matrix m = make(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    QVERIFY(m.GetMinor(0, 2) == make(2, 2, {4, 5, 7, 8}));
    QVERIFY(m.GetSubMatrix(0, 1, 3, 1) == make(3, 1, {2, 5, 8}));
    Matrix crop(m);
    crop.SetSubMatrix(1, 1, 2, 2);
    QVERIFY(crop == make(2, 2, {5, 6, 8, 9}));
    // Reaching past the edge gives an empty result and leaves the matrix alone.
    QCOMPARE(m.GetSubMatrix(2, 2, 2, 2).GetRows(), 0);
    Matrix keep(m);
    keep.SetSubMatrix(1, 1, 3, 3);
    QVERIFY(keep == m);
}

void TestMatrix::sums()
{
    const Matrix m = make(2, 2, {1, 2, 3, 4});
    QCOMPARE(m.SumAll(), 10.0);
    QCOMPARE(m.SumAllSquared(), 100.0);
    QCOMPARE(m.SumRow(1), 7.0);
    QCOMPARE(m.SumColumn(0), 4.0);
    QCOMPARE(m.SumRowSquared(0), 9.0);
    QCOMPARE(m.SumColumnSquared(1), 36.0);
}

void TestMatrix::extremesIgnoreLaterNaN()
{
    const Matrix m = make(2, 3, {3, -1, 7, kNaN, 5, -8});
    QCOMPARE(m.GetMax(), 7.0);
    QCOMPARE(m.GetMin(), -8.0);
    QCOMPARE(m.GetRowMax(0), 7.0);
    QCOMPARE(m.GetRowMin(0), -1.0);
    QCOMPARE(m.GetColumnMax(0), 3.0);
    QCOMPARE(m.GetColumnMin(2), -8.0);
    QCOMPARE(m.GetRange(), 15.0);
    QCOMPARE(m.GetRowRange(0), 8.0);
    QCOMPARE(m.GetColumnRange(1), 6.0);
    double lo = 0, hi = 0;
    m.GetNumericRangeOfColumn(lo, hi, 2);
    QCOMPARE(lo, -8.0);
    QCOMPARE(hi, 7.0);
    m.GetNumericRangeOfRow(lo, hi, 1);
    QVERIFY(std::isnan(lo) && std::isnan(hi)); // the row starts with NaN

    const Matrix first = make(1, 3, {kNaN, 1, 2});
    QVERIFY(std::isnan(first.GetMax()));
    // An empty matrix has no first element to start from.
    double emin = 0, emax = 0;
    Matrix().GetNumericRange(emin, emax);
    QVERIFY(std::isnan(emin) && std::isnan(emax));
}

void TestMatrix::fillingAndClearing()
{
    Matrix m(1.0, 2, 3);
    m.FillRow(0, 2).FillColumn(2, 9).ClearRow(1);
    QVERIFY(m == make(2, 3, {2, 2, 9, 0, 0, 0}));
    m.ClearColumn(2);
    QCOMPARE(m.SumAll(), 4.0);
    m.Fill(-1).SetValuesFromFunction([](double r, double c) { return r - c; });
    QVERIFY(m == make(2, 3, {0, -1, -2, 1, 0, -1}));
    QVERIFY(m.Clear().IsEmpty());
}

void TestMatrix::concatenation()
{
    const Matrix col = make(3, 1, {1, 2, 3});
    QVERIFY(col.GetCMAC(col) == make(3, 2, {1, 1, 2, 2, 3, 3}));
    QVERIFY(col.GetCMAR(col) == make(6, 1, {1, 2, 3, 1, 2, 3}));

    Matrix m(col);
    expectReport("mismatched matrices in column concatenation");
    m.CMAC(make(2, 1, {7, 8}));
    QVERIFY(m == col);
    expectReport("mismatched matrices in row concatenation");
    m.CMAR(make(1, 2, {7, 8}));
    QVERIFY(m == col);

    const double row[] = {4};
    const double column[] = {5, 6, 7, 8};
    m.ConcatenateRow(row).ConcatenateColumn(column);
    QVERIFY(m == make(4, 2, {1, 5, 2, 6, 3, 7, 4, 8}));
}

void TestMatrix::spliceAndRemove()
{
    Matrix m = make(2, 2, {1, 2, 3, 4});
    const double row[] = {9, 8};
    m.SpliceInRow(row, 1);
    QVERIFY(m == make(3, 2, {1, 2, 9, 8, 3, 4}));
    const double column[] = {7, 6, 5};
    m.SpliceInColumn(column, 0);
    QVERIFY(m == make(3, 3, {7, 1, 2, 6, 9, 8, 5, 3, 4}));
    m.RemoveRow(1).RemoveColumn(1);
    QVERIFY(m == make(2, 2, {7, 2, 5, 4}));
}

void TestMatrix::sortingKeepsExactValues()
{
    Matrix m = make(2, 2, {3.5, 1.25, 2.75, 0.5});
    QVERIFY(Matrix(m).SortAscend() == make(2, 2, {0.5, 1.25, 2.75, 3.5}));
    QVERIFY(m.SortDescend() == make(2, 2, {3.5, 2.75, 1.25, 0.5}));
}

void TestMatrix::normalising()
{
    const Matrix m = make(1, 3, {2, 4, 6});
    QVERIFY(m.GetNormalized(0, 1) == make(1, 3, {0, 0.5, 1}));
    QVERIFY(Matrix(m).Normalize(-1, 1) == make(1, 3, {-1, 0, 1}));
    Matrix flat(3.0, 2, 2);
    flat.Normalize(0, 1);
    QVERIFY(std::isnan(flat(0, 0)) && std::isnan(flat(1, 1)));
}

void TestMatrix::covariance()
{
    const Matrix m = make(2, 3, {1, 2, 3, 4, 5, 6});
    const Matrix c = m.GetCovariant();
    QVERIFY(c == make(2, 2, {14, 32, 32, 77}));
    QVERIFY(Matrix(m).MakeCovariant() == c);
}

void TestMatrix::flatCopies()
{
    const Matrix m = make(3, 2, {1, 2, 3, 4, 5, 6});
    const std::vector<double> flat = m.GetDataOneDimen();
    QCOMPARE(flat, std::vector<double>({1, 2, 3, 4, 5, 6}));
    const std::vector<std::vector<double>> rows = m.GetDataTwoDimen();
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[2], std::vector<double>({5, 6}));
}

void TestMatrix::outOfRangeIndicesChangeNothing()
{
    const Matrix original = make(2, 2, {1, 2, 3, 4});
    Matrix m(original);
    const double values[] = {9, 9, 9};
    m.AddRows(0, 2, 1).MultiplyRow(-1, 2).AddColumns(5, 0, 1).MultiplyColumn(2, 0)
        .DivideColumn(-3, 0).SwapRows(0, 2).SwapCols(-1, 0).FillRow(2, 0).FillColumn(-1, 0)
        .SpliceInRow(values, 3).SpliceInColumn(values, -1).RemoveRow(2).RemoveColumn(-1)
        .SpliceInRow(nullptr, 0);
    QVERIFY(m == original);
    QCOMPARE(m.GetMinor(2, 0).GetRows(), 0);
    QVERIFY(std::isnan(m.SumRow(2)));
    QVERIFY(std::isnan(m.GetColumnMax(-1)));
}

QTEST_GUILESS_MAIN(TestMatrix)
#include "tst_matrix.moc"
