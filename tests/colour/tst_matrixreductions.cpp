#include "matrix.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

void expectReport(const char* text)
{
    QTest::ignoreMessage(QtDebugMsg, QByteArray('"' + QByteArray(text) + '"').constData());
}

Matrix make(int rows, int cols, std::initializer_list<double> v)
{
    return Matrix(std::data(v), rows, cols);
}
} // namespace

class TestMatrixReductions : public QObject
{
    Q_OBJECT

private slots:
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

void TestMatrixReductions::echelonForms()
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

void TestMatrixReductions::rowAndColumnOperations()
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

void TestMatrixReductions::minorsAndSubMatrices()
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

void TestMatrixReductions::sums()
{
    const Matrix m = make(2, 2, {1, 2, 3, 4});
    QCOMPARE(m.SumAll(), 10.0);
    QCOMPARE(m.SumAllSquared(), 100.0);
    QCOMPARE(m.SumRow(1), 7.0);
    QCOMPARE(m.SumColumn(0), 4.0);
    QCOMPARE(m.SumRowSquared(0), 9.0);
    QCOMPARE(m.SumColumnSquared(1), 36.0);
}

void TestMatrixReductions::extremesIgnoreLaterNaN()
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

void TestMatrixReductions::fillingAndClearing()
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

void TestMatrixReductions::concatenation()
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

void TestMatrixReductions::spliceAndRemove()
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

void TestMatrixReductions::sortingKeepsExactValues()
{
    Matrix m = make(2, 2, {3.5, 1.25, 2.75, 0.5});
    QVERIFY(Matrix(m).SortAscend() == make(2, 2, {0.5, 1.25, 2.75, 3.5}));
    QVERIFY(m.SortDescend() == make(2, 2, {3.5, 2.75, 1.25, 0.5}));
}

void TestMatrixReductions::normalising()
{
    const Matrix m = make(1, 3, {2, 4, 6});
    QVERIFY(m.GetNormalized(0, 1) == make(1, 3, {0, 0.5, 1}));
    QVERIFY(Matrix(m).Normalize(-1, 1) == make(1, 3, {-1, 0, 1}));
    Matrix flat(3.0, 2, 2);
    flat.Normalize(0, 1);
    QVERIFY(std::isnan(flat(0, 0)) && std::isnan(flat(1, 1)));
}

void TestMatrixReductions::covariance()
{
    const Matrix m = make(2, 3, {1, 2, 3, 4, 5, 6});
    const Matrix c = m.GetCovariant();
    QVERIFY(c == make(2, 2, {14, 32, 32, 77}));
    QVERIFY(Matrix(m).MakeCovariant() == c);
}

void TestMatrixReductions::flatCopies()
{
    const Matrix m = make(3, 2, {1, 2, 3, 4, 5, 6});
    const std::vector<double> flat = m.GetDataOneDimen();
    QCOMPARE(flat, std::vector<double>({1, 2, 3, 4, 5, 6}));
    const std::vector<std::vector<double>> rows = m.GetDataTwoDimen();
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[2], std::vector<double>({5, 6}));
}

void TestMatrixReductions::outOfRangeIndicesChangeNothing()
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

QTEST_GUILESS_MAIN(TestMatrixReductions)
#include "tst_matrixreductions.moc"
