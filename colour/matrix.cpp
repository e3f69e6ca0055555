#include "matrix.h"

#include "errormsg.h"

#include <QDataStream>
#include <QString>

#include <cmath>
#include <iostream>
#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Data-stream counts beyond these are treated as corrupt: no matrix of this
// system comes near them, and honouring them would mean a huge allocation.
constexpr qint32 kMaxStreamDimension = 1 << 20;
constexpr qint64 kMaxStreamElements = qint64(1) << 24;

// Where out-of-range element access lands. Per thread, because the alignment
// thread and the user interface use matrices at the same time.
double& scratchCell()
{
    thread_local double cell = kNaN;
    cell = kNaN;
    return cell;
}

// One scratch row per width, kept for the thread's life: a row pointer handed out
// earlier stays valid when a wider matrix asks later, and every column index of
// the asking matrix lands inside it.
double* scratchRow(int cols)
{
    thread_local std::map<int, std::unique_ptr<double[]>> rows;
    const int width = cols > 0 ? cols : 1;
    std::unique_ptr<double[]>& row = rows[width];
    if (!row)
        row = std::make_unique<double[]>(static_cast<size_t>(width));
    std::fill(row.get(), row.get() + width, kNaN);
    return row.get();
}

bool validDimensions(int rows, int cols)
{
    return rows >= 0 && cols >= 0;
}

} // namespace

Matrix::Matrix() = default;

Matrix::Matrix(double value, int rows, int cols)
{
    reset(rows, cols, value);
}

Matrix::Matrix(const double* values, int rows, int cols)
{
    reset(rows, cols);
    if (!values)
        return;
    for (size_t i = 0; i < m_data.size(); ++i)
        m_data[i] = values[i];
}

Matrix::Matrix(const double* const* values, int rows, int cols)
{
    reset(rows, cols);
    if (!values)
        return;
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_cols; ++c)
            at(r, c) = values[r][c];
}

Matrix::Matrix(double (*f)(double, double), int rows, int cols)
{
    reset(rows, cols);
    SetValuesFromFunction(f);
}

Matrix::Matrix(Matrix&& other) noexcept
    : m_data(std::move(other.m_data)), m_cols(other.m_cols), m_rows(other.m_rows)
{
    other.m_data.clear();
    other.m_rows = other.m_cols = 0;
}

Matrix& Matrix::operator=(const Matrix& other)
{
    if (this != &other) {
        m_data = other.m_data;
        m_rows = other.m_rows;
        m_cols = other.m_cols;
    }
    return *this;
}

Matrix& Matrix::operator=(Matrix&& other) noexcept
{
    if (this != &other) {
        m_data = std::move(other.m_data);
        m_rows = other.m_rows;
        m_cols = other.m_cols;
        other.m_data.clear();
        other.m_rows = other.m_cols = 0;
    }
    return *this;
}

void Matrix::reset(int rows, int cols, double value)
{
    if (!validDimensions(rows, cols))
        rows = cols = 0;
    m_rows = rows;
    m_cols = cols;
    m_data.assign(static_cast<size_t>(rows) * static_cast<size_t>(cols), value);
}

double* Matrix::operator[](int row)
{
    if (!validRow(row)) {
        ErrorMsg(QStringLiteral("out-of-bound index"));
        return scratchRow(m_cols);
    }
    return m_data.data() + static_cast<size_t>(row) * m_cols;
}

const double* Matrix::operator[](int row) const
{
    if (!validRow(row)) {
        ErrorMsg(QStringLiteral("out-of-bound index"));
        return scratchRow(m_cols);
    }
    return m_data.data() + static_cast<size_t>(row) * m_cols;
}

double& Matrix::operator()(int row, int col)
{
    if (row >= m_rows || col >= m_cols || row < 0 || col < 0) {
        ErrorMsg(QStringLiteral("out-of-bounds index"));
        return scratchCell();
    }
    return at(row, col);
}

double Matrix::operator()(int row, int col) const
{
    if (row >= m_rows || col >= m_cols || row < 0 || col < 0) {
        ErrorMsg(QStringLiteral("out-of-bounds index"));
        return kNaN;
    }
    return at(row, col);
}

// ---- arithmetic ----

Matrix Matrix::operator+(const Matrix& b) const
{
    if (m_rows != b.m_rows || m_cols != b.m_cols) {
        ErrorMsg(QStringLiteral("mismatched matrices in addition"));
        return Matrix();
    }
    Matrix result(*this);
    for (size_t i = 0; i < m_data.size(); ++i)
        result.m_data[i] += b.m_data[i];
    return result;
}

Matrix Matrix::operator-(const Matrix& b) const
{
    if (m_rows != b.m_rows || m_cols != b.m_cols) {
        ErrorMsg(QStringLiteral("mismatched matrices in addition"));
        return Matrix();
    }
    Matrix result(*this);
    for (size_t i = 0; i < m_data.size(); ++i)
        result.m_data[i] -= b.m_data[i];
    return result;
}

Matrix Matrix::operator*(const Matrix& b) const
{
    if (m_cols != b.m_rows) {
        ErrorMsg(QStringLiteral("mismatched matrices in multiplication"));
        return Matrix();
    }
    Matrix result(0.0, m_rows, b.m_cols);
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < b.m_cols; ++c) {
            double sum = 0.0;
            for (int k = 0; k < m_cols; ++k)
                sum += at(r, k) * b.at(k, c);
            result.at(r, c) = sum;
        }
    }
    return result;
}

Matrix Matrix::operator*(double d) const
{
    Matrix result(*this);
    for (double& e : result.m_data)
        e *= d;
    return result;
}

Matrix Matrix::operator*(int n) const
{
    return *this * static_cast<double>(n);
}

Matrix Matrix::operator/(const Matrix& b) const
{
    if (b.m_rows != b.m_cols) {
        ErrorMsg(QStringLiteral("not a square matrix for inverse"));
        return Matrix();
    }
    return *this * b.GetInverse();
}

Matrix Matrix::operator/(double d) const
{
    if (d == 0.0)
        ErrorMsg(QStringLiteral("divide by zero in double division"));
    Matrix result(*this);
    for (double& e : result.m_data)
        e /= d;
    return result;
}

Matrix Matrix::operator/(int n) const
{
    if (n == 0)
        ErrorMsg(QStringLiteral("divide by zero in integer division"));
    Matrix result(*this);
    const double d = static_cast<double>(n);
    for (double& e : result.m_data)
        e /= d;
    return result;
}

Matrix Matrix::operator~() const
{
    return GetInverse();
}

// Compound assignments keep the left operand when the operation reported a size
// fault, so a correction matrix is never silently replaced by an empty one.
Matrix& Matrix::operator+=(const Matrix& b)
{
    if (m_rows == b.m_rows && m_cols == b.m_cols)
        *this = *this + b;
    else
        ErrorMsg(QStringLiteral("mismatched matrices in addition"));
    return *this;
}

Matrix& Matrix::operator-=(const Matrix& b)
{
    if (m_rows == b.m_rows && m_cols == b.m_cols)
        *this = *this - b;
    else
        ErrorMsg(QStringLiteral("mismatched matrices in addition"));
    return *this;
}

Matrix& Matrix::operator*=(const Matrix& b)
{
    if (m_cols == b.m_rows)
        *this = *this * b;
    else
        ErrorMsg(QStringLiteral("mismatched matrices in multiplication"));
    return *this;
}

Matrix& Matrix::operator*=(double d)
{
    return *this = *this * d;
}

Matrix& Matrix::operator*=(int n)
{
    return *this = *this * n;
}

Matrix& Matrix::operator/=(const Matrix& b)
{
    if (b.m_rows != b.m_cols)
        ErrorMsg(QStringLiteral("not a square matrix for inverse"));
    else if (m_cols != b.m_rows)
        ErrorMsg(QStringLiteral("mismatched matrices in multiplication"));
    else
        *this = *this / b;
    return *this;
}

Matrix& Matrix::operator/=(double d)
{
    return *this = *this / d;
}

Matrix& Matrix::operator/=(int n)
{
    return *this = *this / n;
}

bool Matrix::operator==(const Matrix& b) const
{
    if (m_rows != b.m_rows || m_cols != b.m_cols)
        return false;
    for (size_t i = 0; i < m_data.size(); ++i)
        if (!(m_data[i] == b.m_data[i]))
            return false;
    return true;
}

bool Matrix::operator!=(const Matrix& b) const
{
    return !(*this == b);
}

// ---- structure ----

Matrix Matrix::GetTransposed() const
{
    Matrix result(0.0, m_cols, m_rows);
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_cols; ++c)
            result.at(c, r) = at(r, c);
    return result;
}

Matrix& Matrix::Transpose()
{
    return *this = GetTransposed();
}

Matrix Matrix::GetInverse() const
{
    if (m_rows != m_cols) {
        ErrorMsg(QStringLiteral("not a square matrix for inverse"));
        return Matrix();
    }
    Matrix work(*this);
    work.RightAppendIdentity().RREF().LeftRemoveIdentity();
    return work;
}

Matrix& Matrix::Invert()
{
    if (m_rows != m_cols) {
        ErrorMsg(QStringLiteral("not a square matrix for inverse"));
        return *this;
    }
    return *this = GetInverse();
}

double Matrix::Determinant() const
{
    if (m_rows != m_cols) {
        ErrorMsg(QStringLiteral("not a square matrix for determinant"));
        return kNaN;
    }
    if (m_rows == 2)
        return at(0, 0) * at(1, 1) - at(1, 0) * at(0, 1);
    if (m_rows == 1)
        return at(0, 0);
    double det = 0.0;
    for (int c = 0; c < m_cols; ++c) {
        const std::unique_ptr<Matrix> minor = GetMinorNew(0, c);
        det += std::pow(-1.0, c) * (at(0, c) * minor->Determinant());
    }
    return det;
}

bool Matrix::IsIdentity() const
{
    if (m_rows != m_cols)
        return false;
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_cols; ++c)
            if (at(r, c) != (r == c ? 1.0 : 0.0))
                return false;
    return true;
}

bool Matrix::IsEmpty() const
{
    for (double e : m_data)
        if (!(e == 0.0))
            return false;
    return true;
}

Matrix Matrix::IdentityMatrix(int n)
{
    Matrix result(0.0, n, n);
    for (int i = 0; i < result.m_rows; ++i)
        result.at(i, i) = 1.0;
    return result;
}

Matrix IdentityMatrix(int n)
{
    return Matrix::IdentityMatrix(n);
}

std::unique_ptr<Matrix> Matrix::GetMinorNew(int row, int col) const
{
    return std::make_unique<Matrix>(GetMinor(row, col));
}

Matrix& Matrix::RightAppendIdentity()
{
    Matrix result(0.0, m_rows, 2 * m_cols);
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_cols; ++c)
            result.at(r, c) = at(r, c);
        if (r < m_cols)
            result.at(r, m_cols + r) = 1.0;
    }
    return *this = std::move(result);
}

Matrix& Matrix::LeftRemoveIdentity()
{
    const int half = m_cols / 2;
    Matrix result(0.0, m_rows, half);
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < half; ++c)
            result.at(r, c) = at(r, half + c);
    return *this = std::move(result);
}

Matrix& Matrix::RREF()
{
    // Pivots exist only on the leading diagonal; a matrix with more rows than
    // columns has none below it.
    const int pivots = m_rows < m_cols ? m_rows : m_cols;
    for (int p = 0; p < pivots; ++p) {
        for (int r = p + 1; r < m_rows; ++r) {
            const double f = -at(r, p) / at(p, p);
            for (int c = 0; c < m_cols; ++c)
                at(r, c) += f * at(p, c);
        }
        DivideRow(p, at(p, p));
    }
    for (int p = pivots - 1; p >= 0; --p) {
        for (int r = p - 1; r >= 0; --r) {
            const double f = -at(r, p) / at(p, p);
            for (int c = 0; c < m_cols; ++c)
                at(r, c) += f * at(p, c);
        }
        DivideRow(p, at(p, p));
    }
    return *this;
}

Matrix& Matrix::DivideRow(int row, double d)
{
    if (!validRow(row))
        return *this;
    if (d == 0.0)
        ErrorMsg(QStringLiteral("divide by zero in row division"));
    for (int c = 0; c < m_cols; ++c)
        at(row, c) /= d;
    return *this;
}

// ---- echelon forms and elementary operations ----

Matrix& Matrix::REF()
{
    const int pivots = m_rows < m_cols ? m_rows : m_cols;
    for (int p = 0; p < pivots; ++p) {
        for (int r = p + 1; r < m_rows; ++r) {
            const double f = -at(r, p) / at(p, p);
            for (int c = 0; c < m_cols; ++c)
                at(r, c) += f * at(p, c);
        }
        const double pivot = at(p, p);
        for (int c = 0; c < m_cols; ++c)
            at(p, c) /= pivot;
    }
    return *this;
}

Matrix Matrix::GetREF() const
{
    Matrix result(*this);
    return result.REF();
}

Matrix Matrix::GetRREF() const
{
    Matrix result(*this);
    return result.RREF();
}

Matrix& Matrix::AddRows(int from, int to, double k)
{
    if (validRow(from) && validRow(to))
        for (int c = 0; c < m_cols; ++c)
            at(to, c) += k * at(from, c);
    return *this;
}

Matrix& Matrix::MultiplyRow(int row, double k)
{
    if (validRow(row))
        for (int c = 0; c < m_cols; ++c)
            at(row, c) *= k;
    return *this;
}

Matrix& Matrix::AddColumns(int from, int to, double k)
{
    if (validCol(from) && validCol(to))
        for (int r = 0; r < m_rows; ++r)
            at(r, to) += k * at(r, from);
    return *this;
}

Matrix& Matrix::MultiplyColumn(int col, double k)
{
    if (validCol(col))
        for (int r = 0; r < m_rows; ++r)
            at(r, col) *= k;
    return *this;
}

Matrix& Matrix::DivideColumn(int col, double d)
{
    if (!validCol(col))
        return *this;
    if (d == 0.0)
        ErrorMsg(QStringLiteral("divide by zero in column division"));
    for (int r = 0; r < m_rows; ++r)
        at(r, col) /= d;
    return *this;
}

Matrix& Matrix::SwapRows(int a, int b)
{
    if (validRow(a) && validRow(b))
        for (int c = 0; c < m_cols; ++c)
            std::swap(at(a, c), at(b, c));
    return *this;
}

Matrix& Matrix::SwapCols(int a, int b)
{
    if (validCol(a) && validCol(b))
        for (int r = 0; r < m_rows; ++r)
            std::swap(at(r, a), at(r, b));
    return *this;
}

// ---- minors and sub-matrices ----

Matrix Matrix::GetMinor(int row, int col) const
{
    if (!validRow(row) || !validCol(col))
        return Matrix();
    Matrix result(0.0, m_rows - 1, m_cols - 1);
    for (int r = 0, rr = 0; r < m_rows; ++r) {
        if (r == row)
            continue;
        for (int c = 0, cc = 0; c < m_cols; ++c) {
            if (c == col)
                continue;
            result.at(rr, cc++) = at(r, c);
        }
        ++rr;
    }
    return result;
}

Matrix Matrix::GetSubMatrix(int row0, int col0, int nRows, int nCols) const
{
    if (row0 < 0 || col0 < 0 || nRows < 0 || nCols < 0
        || qint64(row0) + nRows > m_rows || qint64(col0) + nCols > m_cols)
        return Matrix();
    Matrix result(0.0, nRows, nCols);
    for (int r = 0; r < nRows; ++r)
        for (int c = 0; c < nCols; ++c)
            result.at(r, c) = at(row0 + r, col0 + c);
    return result;
}

Matrix& Matrix::SetSubMatrix(int row0, int col0, int nRows, int nCols)
{
    if (row0 < 0 || col0 < 0 || nRows < 0 || nCols < 0
        || qint64(row0) + nRows > m_rows || qint64(col0) + nCols > m_cols)
        return *this;
    return *this = GetSubMatrix(row0, col0, nRows, nCols);
}

// ---- sums ----

double Matrix::SumAll() const
{
    double sum = 0.0;
    for (double e : m_data)
        sum += e;
    return sum;
}

double Matrix::SumAllSquared() const
{
    const double sum = SumAll();
    return sum * sum;
}

double Matrix::SumRow(int row) const
{
    if (!validRow(row))
        return kNaN;
    double sum = 0.0;
    for (int c = 0; c < m_cols; ++c)
        sum += at(row, c);
    return sum;
}

double Matrix::SumColumn(int col) const
{
    if (!validCol(col))
        return kNaN;
    double sum = 0.0;
    for (int r = 0; r < m_rows; ++r)
        sum += at(r, col);
    return sum;
}

double Matrix::SumRowSquared(int row) const
{
    const double sum = SumRow(row);
    return sum * sum;
}

double Matrix::SumColumnSquared(int col) const
{
    const double sum = SumColumn(col);
    return sum * sum;
}

// ---- extremes and ranges ----

template <typename Pred>
double Matrix::scan(int r0, int r1, int c0, int c1, Pred better) const
{
    if (r0 < 0 || c0 < 0 || r1 > m_rows || c1 > m_cols || r0 >= r1 || c0 >= c1)
        return kNaN;
    double best = at(r0, c0);
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c)
            if (better(at(r, c), best))
                best = at(r, c);
    return best;
}

namespace {
const auto greater = [](double e, double best) { return e > best; };
const auto less = [](double e, double best) { return e < best; };
} // namespace

double Matrix::GetMax() const { return scan(0, m_rows, 0, m_cols, greater); }
double Matrix::GetMin() const { return scan(0, m_rows, 0, m_cols, less); }

double Matrix::GetRowMax(int row) const
{
    return validRow(row) ? scan(row, row + 1, 0, m_cols, greater) : kNaN;
}

double Matrix::GetRowMin(int row) const
{
    return validRow(row) ? scan(row, row + 1, 0, m_cols, less) : kNaN;
}

double Matrix::GetColumnMax(int col) const
{
    return validCol(col) ? scan(0, m_rows, col, col + 1, greater) : kNaN;
}

double Matrix::GetColumnMin(int col) const
{
    return validCol(col) ? scan(0, m_rows, col, col + 1, less) : kNaN;
}

double Matrix::GetRange() const { return GetMax() - GetMin(); }
double Matrix::GetRowRange(int row) const { return GetRowMax(row) - GetRowMin(row); }
double Matrix::GetColumnRange(int col) const { return GetColumnMax(col) - GetColumnMin(col); }

const Matrix& Matrix::GetNumericRange(double& min, double& max) const
{
    min = GetMin();
    max = GetMax();
    return *this;
}

const Matrix& Matrix::GetNumericRangeOfRow(double& min, double& max, int row) const
{
    min = GetRowMin(row);
    max = GetRowMax(row);
    return *this;
}

const Matrix& Matrix::GetNumericRangeOfColumn(double& min, double& max, int col) const
{
    min = GetColumnMin(col);
    max = GetColumnMax(col);
    return *this;
}

// ---- filling and clearing ----

Matrix& Matrix::Clear()
{
    return Fill(0.0);
}

Matrix& Matrix::ClearRow(int row)
{
    return FillRow(row, 0.0);
}

Matrix& Matrix::ClearColumn(int col)
{
    return FillColumn(col, 0.0);
}

Matrix& Matrix::Fill(double v)
{
    for (double& e : m_data)
        e = v;
    return *this;
}

Matrix& Matrix::FillRow(int row, double v)
{
    if (validRow(row))
        for (int c = 0; c < m_cols; ++c)
            at(row, c) = v;
    return *this;
}

Matrix& Matrix::FillColumn(int col, double v)
{
    if (validCol(col))
        for (int r = 0; r < m_rows; ++r)
            at(r, col) = v;
    return *this;
}

Matrix& Matrix::SetValuesFromFunction(double (*f)(double, double))
{
    if (!f)
        return *this;
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_cols; ++c)
            at(r, c) = f(static_cast<double>(r), static_cast<double>(c));
    return *this;
}

// ---- reshaping ----

Matrix& Matrix::CMAR(const Matrix& m)
{
    if (m_cols != m.m_cols) {
        ErrorMsg(QStringLiteral("mismatched matrices in row concatenation"));
        return *this;
    }
    m_data.insert(m_data.end(), m.m_data.begin(), m.m_data.end());
    m_rows += m.m_rows;
    return *this;
}

Matrix& Matrix::CMAC(const Matrix& m)
{
    if (m_rows != m.m_rows) {
        ErrorMsg(QStringLiteral("mismatched matrices in column concatenation"));
        return *this;
    }
    Matrix result(0.0, m_rows, m_cols + m.m_cols);
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_cols; ++c)
            result.at(r, c) = at(r, c);
        for (int c = 0; c < m.m_cols; ++c)
            result.at(r, m_cols + c) = m.at(r, c);
    }
    return *this = std::move(result);
}

Matrix Matrix::GetCMAR(const Matrix& m) const
{
    Matrix result(*this);
    return result.CMAR(m);
}

Matrix Matrix::GetCMAC(const Matrix& m) const
{
    Matrix result(*this);
    return result.CMAC(m);
}

Matrix& Matrix::ConcatenateRow(const double* values)
{
    return SpliceInRow(values, m_rows);
}

Matrix& Matrix::ConcatenateColumn(const double* values)
{
    return SpliceInColumn(values, m_cols);
}

Matrix& Matrix::SpliceInRow(const double* values, int pos)
{
    if (!values || pos < 0 || pos > m_rows)
        return *this;
    const auto at_pos = m_data.begin() + static_cast<std::ptrdiff_t>(pos) * m_cols;
    m_data.insert(at_pos, values, values + m_cols);
    ++m_rows;
    return *this;
}

Matrix& Matrix::SpliceInColumn(const double* values, int pos)
{
    if (!values || pos < 0 || pos > m_cols)
        return *this;
    Matrix result(0.0, m_rows, m_cols + 1);
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c <= m_cols; ++c)
            result.at(r, c) = c < pos ? at(r, c) : c == pos ? values[r] : at(r, c - 1);
    return *this = std::move(result);
}

Matrix& Matrix::RemoveRow(int row)
{
    if (!validRow(row))
        return *this;
    const auto first = m_data.begin() + static_cast<std::ptrdiff_t>(row) * m_cols;
    m_data.erase(first, first + m_cols);
    --m_rows;
    return *this;
}

Matrix& Matrix::RemoveColumn(int col)
{
    if (!validCol(col))
        return *this;
    Matrix result(0.0, m_rows, m_cols - 1);
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_cols - 1; ++c)
            result.at(r, c) = at(r, c < col ? c : c + 1);
    return *this = std::move(result);
}

// ---- ordering, scaling and products ----

template <typename Cmp>
Matrix& Matrix::bubbleSort(Cmp outOfOrder)
{
    const size_t n = m_data.size();
    for (size_t pass = 0; pass < n; ++pass)
        for (size_t i = 0; i + 1 < n; ++i)
            if (outOfOrder(m_data[i], m_data[i + 1]))
                std::swap(m_data[i], m_data[i + 1]);
    return *this;
}

Matrix& Matrix::SortAscend()
{
    return bubbleSort([](double a, double b) { return a > b; });
}

Matrix& Matrix::SortDescend()
{
    return bubbleSort([](double a, double b) { return a < b; });
}

Matrix Matrix::GetNormalized(double lo, double hi) const
{
    Matrix result(*this);
    return result.Normalize(lo, hi);
}

Matrix& Matrix::Normalize(double lo, double hi)
{
    const double min = GetMin();
    const double max = GetMax();
    for (double& e : m_data)
        e = (e - min) / (max - min) * (hi - lo) + lo;
    return *this;
}

Matrix Matrix::GetCovariant() const
{
    return *this * GetTransposed();
}

Matrix& Matrix::MakeCovariant()
{
    return *this = GetCovariant();
}

std::vector<double> Matrix::GetDataOneDimen() const
{
    return m_data;
}

std::vector<std::vector<double>> Matrix::GetDataTwoDimen() const
{
    std::vector<std::vector<double>> rows;
    rows.reserve(static_cast<size_t>(m_rows));
    for (int r = 0; r < m_rows; ++r) {
        const auto first = m_data.begin() + static_cast<std::ptrdiff_t>(r) * m_cols;
        rows.emplace_back(first, first + m_cols);
    }
    return rows;
}

// ---- text forms ----

std::ostream& Matrix::Output(std::ostream& out) const
{
    out << '[';
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_cols; ++c)
            out << '[' << at(r, c) << ']';
        if (r + 1 < m_rows)
            out << "\n ";
    }
    out << "]\n";
    return out;
}

std::ostream& operator<<(std::ostream& out, const Matrix& m)
{
    return m.Output(out);
}

void Matrix::Display() const
{
    Output(std::cout);
}

void Matrix::Write(std::ostream& out) const
{
    out << "Rows: " << m_rows << '\n' << "Cols: " << m_cols << '\n' << "Data:\n";
    for (double e : m_data)
        out << e << '\n';
}

void Matrix::Read(std::istream& in)
{
    std::string label;
    int rows = -1;
    int cols = -1;
    in >> label >> rows >> label >> cols >> label;
    if (!in)
        return;
    if (rows != m_rows || cols != m_cols) {
        in.setstate(std::ios::failbit);
        return;
    }
    std::vector<double> values(m_data.size());
    for (double& v : values)
        in >> v;
    if (in)
        m_data = std::move(values);
}

void Matrix::Input(std::istream& in)
{
    std::vector<double> values(m_data.size());
    char delimiter = 0;
    in >> delimiter;
    for (int r = 0; r < m_rows && in; ++r) {
        // Rows may be separated by one character, or (as Output writes them) by
        // nothing but white space before the next element's bracket.
        if (r > 0 && (in >> std::ws).peek() != '[')
            in >> delimiter;
        for (int c = 0; c < m_cols; ++c)
            in >> delimiter >> values[static_cast<size_t>(r) * m_cols + c] >> delimiter;
    }
    in >> delimiter;
    if (in)
        m_data = std::move(values);
}

// ---- data-stream form ----

QDataStream& operator<<(QDataStream& out, const Matrix& m)
{
    out << qint32(m.GetRows()) << qint32(m.GetColumns());
    for (double e : m.GetDataOneDimen())
        out << e;
    return out;
}

QDataStream& operator>>(QDataStream& in, Matrix& m)
{
    qint32 rows = 0;
    qint32 cols = 0;
    in >> rows >> cols;
    const auto corrupt = [&]() -> QDataStream& {
        in.resetStatus();
        in.setStatus(QDataStream::ReadCorruptData);
        m = Matrix();
        return in;
    };
    if (in.status() != QDataStream::Ok)
        return corrupt();
    if (rows < 0 || cols < 0 || rows > kMaxStreamDimension || cols > kMaxStreamDimension
        || qint64(rows) * cols > kMaxStreamElements)
        return corrupt();

    // Grow as the elements arrive, so a stream that promises more than it holds
    // costs no more memory than what it really holds.
    const qint64 count = qint64(rows) * cols;
    std::vector<double> values;
    values.reserve(static_cast<size_t>(count < 4096 ? count : 4096));
    for (qint64 i = 0; i < count; ++i) {
        double v = 0.0;
        in >> v;
        if (in.status() != QDataStream::Ok)
            return corrupt();
        values.push_back(v);
    }
    m = Matrix(values.data(), rows, cols);
    return in;
}
