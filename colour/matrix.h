#ifndef MATRIX_H
#define MATRIX_H

#include <QMetaType>

#include <iosfwd>
#include <memory>
#include <vector>

class QDataStream;

// Dense matrix of doubles with value semantics, indexed (row, column) from 0.
//
// Faults (mismatched sizes, a non-square matrix where a square one is needed,
// an index out of range) are reported through ErrorMsg and never touch memory
// outside either operand. After such a report an operation returning a matrix
// returns an empty (0 x 0) matrix, one returning a double returns NaN, and an
// in-place operation leaves the matrix as it was. Element access out of range
// yields a reference into a per-thread scratch cell, so stray writes land
// nowhere that matters.
class Matrix
{
public:
    Matrix();
    Matrix(double value, int rows, int cols);
    Matrix(const double* values, int rows, int cols);
    Matrix(const double* const* values, int rows, int cols);
    Matrix(double (*f)(double, double), int rows, int cols);
    Matrix(const Matrix& other) = default;
    Matrix(Matrix&& other) noexcept;
    Matrix& operator=(const Matrix& other);
    Matrix& operator=(Matrix&& other) noexcept;
    ~Matrix() = default;

    int GetRows() const { return m_rows; }
    int GetColumns() const { return m_cols; }

    // Pointer to the row's elements; an invalid row reports "out-of-bound index".
    double* operator[](int row);
    const double* operator[](int row) const;
    // Element reference; an invalid index reports "out-of-bounds index".
    double& operator()(int row, int col);
    double operator()(int row, int col) const;

    Matrix operator+(const Matrix& b) const;
    Matrix operator-(const Matrix& b) const;
    Matrix operator*(const Matrix& b) const;
    Matrix operator*(double d) const;
    Matrix operator*(int n) const;
    Matrix operator/(const Matrix& b) const;
    Matrix operator/(double d) const;
    Matrix operator/(int n) const;
    Matrix operator~() const;
    Matrix& operator+=(const Matrix& b);
    Matrix& operator-=(const Matrix& b);
    Matrix& operator*=(const Matrix& b);
    Matrix& operator*=(double d);
    Matrix& operator*=(int n);
    Matrix& operator/=(const Matrix& b);
    Matrix& operator/=(double d);
    Matrix& operator/=(int n);
    bool operator==(const Matrix& b) const;
    bool operator!=(const Matrix& b) const;

    Matrix GetTransposed() const;
    Matrix& Transpose();
    Matrix GetInverse() const;
    Matrix& Invert();
    double Determinant() const;
    bool IsIdentity() const;
    bool IsEmpty() const;
    static Matrix IdentityMatrix(int n);
    std::unique_ptr<Matrix> GetMinorNew(int row, int col) const;
    Matrix& RightAppendIdentity();
    Matrix& LeftRemoveIdentity();
    Matrix& RREF();
    Matrix& DivideRow(int row, double d);

    // Echelon forms and elementary operations.
    Matrix& REF();
    Matrix GetREF() const;
    Matrix GetRREF() const;
    Matrix& AddRows(int from, int to, double k);
    Matrix& MultiplyRow(int row, double k);
    Matrix& AddColumns(int from, int to, double k);
    Matrix& MultiplyColumn(int col, double k);
    Matrix& DivideColumn(int col, double d);
    Matrix& SwapRows(int a, int b);
    Matrix& SwapCols(int a, int b);

    // Minors and sub-matrices.
    Matrix GetMinor(int row, int col) const;
    Matrix GetSubMatrix(int row0, int col0, int nRows, int nCols) const;
    Matrix& SetSubMatrix(int row0, int col0, int nRows, int nCols);

    // Sums; the "Squared" forms square the sum.
    double SumAll() const;
    double SumAllSquared() const;
    double SumRow(int row) const;
    double SumColumn(int col) const;
    double SumRowSquared(int row) const;
    double SumColumnSquared(int col) const;

    // Extremes and ranges; NaN for an empty scope or an index out of range.
    double GetMax() const;
    double GetMin() const;
    double GetRowMax(int row) const;
    double GetRowMin(int row) const;
    double GetColumnMax(int col) const;
    double GetColumnMin(int col) const;
    double GetRange() const;
    double GetRowRange(int row) const;
    double GetColumnRange(int col) const;
    const Matrix& GetNumericRange(double& min, double& max) const;
    const Matrix& GetNumericRangeOfRow(double& min, double& max, int row) const;
    const Matrix& GetNumericRangeOfColumn(double& min, double& max, int col) const;

    // Filling and clearing.
    Matrix& Clear();
    Matrix& ClearRow(int row);
    Matrix& ClearColumn(int col);
    Matrix& Fill(double v);
    Matrix& FillRow(int row, double v);
    Matrix& FillColumn(int col, double v);
    Matrix& SetValuesFromFunction(double (*f)(double, double));

    // Reshaping.
    Matrix& CMAR(const Matrix& m);
    Matrix& CMAC(const Matrix& m);
    Matrix GetCMAR(const Matrix& m) const;
    Matrix GetCMAC(const Matrix& m) const;
    Matrix& ConcatenateRow(const double* values);
    Matrix& ConcatenateColumn(const double* values);
    Matrix& SpliceInRow(const double* values, int pos);
    Matrix& SpliceInColumn(const double* values, int pos);
    Matrix& RemoveRow(int row);
    Matrix& RemoveColumn(int col);

    // Ordering, scaling and products.
    Matrix& SortAscend();
    Matrix& SortDescend();
    Matrix GetNormalized(double lo, double hi) const;
    Matrix& Normalize(double lo, double hi);
    Matrix GetCovariant() const;
    Matrix& MakeCovariant();

    // Flat copies of the elements, owned by the caller.
    std::vector<double> GetDataOneDimen() const;
    std::vector<std::vector<double>> GetDataTwoDimen() const;

    // Text forms.
    std::ostream& Output(std::ostream& out) const;
    void Display() const;
    void Write(std::ostream& out) const;
    // Read and Input fill the existing storage. A text that describes another size
    // than the matrix has leaves the matrix unchanged and fails the stream.
    void Read(std::istream& in);
    void Input(std::istream& in);

private:
    bool validRow(int row) const { return row >= 0 && row < m_rows; }
    bool validCol(int col) const { return col >= 0 && col < m_cols; }
    double& at(int row, int col) { return m_data[static_cast<size_t>(row) * m_cols + col]; }
    double at(int row, int col) const { return m_data[static_cast<size_t>(row) * m_cols + col]; }
    void reset(int rows, int cols, double value = 0.0);
    template <typename Cmp> Matrix& bubbleSort(Cmp outOfOrder);
    template <typename Pred> double scan(int r0, int r1, int c0, int c1, Pred better) const;

    std::vector<double> m_data; // row-major
    int m_cols = 0;
    int m_rows = 0;
};

Matrix IdentityMatrix(int n);
std::ostream& operator<<(std::ostream& out, const Matrix& m);
// Data-stream form: rows and cols as 32-bit signed, then the elements row by row.
QDataStream& operator<<(QDataStream& out, const Matrix& m);
// A stream holding negative or absurd counts, or fewer elements than its counts
// promise, is marked ReadCorruptData (or ReadPastEnd) and the target left empty.
QDataStream& operator>>(QDataStream& in, Matrix& m);

Q_DECLARE_METATYPE(Matrix)

#endif // MATRIX_H
