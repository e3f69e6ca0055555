// Matrices with arbitrary index bounds and 3 x 3 arithmetic.

#include "xspect.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Layout of a dmatrix: a pointer array whose slot 0 keeps the element block and
// whose following slots hold the row pointers, and one block of doubles padded
// so that every row pointer, offset by the first column, still points into it.
// With nrl <= 0, m[nrl] is slot 1; with nrl > 0, m[r] is slot 1 + r.
// The padding grows with the first column, so a 1 x 1 matrix at column 2^27
// would cost a gigabyte: bounds that need more than 128 MiB are refused.
constexpr int64_t kMaxElements = int64_t(1) << 24;

} // namespace

extern "C" {

MLINK_CA410_API double **dmatrix(int32_t nrl, int32_t nrh, int32_t ncl, int32_t nch)
{
    if (nrh < nrl)
        nrh = nrl;
    if (nch < ncl)
        nch = ncl;
    const int64_t rows = int64_t(nrh) - nrl + 1;
    const int64_t cols = int64_t(nch) - ncl + 1;
    // Each bound first, so that the product below cannot overflow.
    if (rows > kMaxElements || cols > kMaxElements)
        return nullptr;
    const int64_t lead = ncl > 0 ? ncl : 0;               // room for row pointer - ncl
    const int64_t trail = nch < -1 ? -(int64_t(nch) + 1) : 0; // room when every column is negative
    const int64_t elements = lead + rows * cols + trail;
    // With a positive first row the pointer array still starts at row 0.
    const int64_t slots = int64_t(1) + (nrl > 0 ? int64_t(nrl) : 0) + rows;
    if (elements > kMaxElements || slots > kMaxElements)
        return nullptr;

    auto **array = static_cast<double **>(std::calloc(static_cast<size_t>(slots), sizeof(double *)));
    auto *block = static_cast<double *>(std::calloc(static_cast<size_t>(elements), sizeof(double)));
    if (!array || !block) {
        std::free(array);
        std::free(block);
        return nullptr;
    }
    array[0] = block;
    double **m = nrl <= 0 ? array + 1 - nrl : array + 1;
    for (int64_t k = 0; k < rows; ++k)
        m[nrl + k] = block + lead + k * cols - ncl;
    return m;
}

MLINK_CA410_API void free_dmatrix(double **m, int32_t nrl)
{
    if (!m)
        return;
    double **array = nrl <= 0 ? m - 1 + nrl : m - 1;
    std::free(array[0]);
    std::free(array);
}

MLINK_CA410_API void copy_dmatrix_to3x3(double dst[3][3], double **src, int32_t nrl, int32_t nrh,
                                        int32_t ncl, int32_t nch)
{
    if (!dst || !src)
        return;
    for (int32_t r = 0; r < 3 && int64_t(nrl) + r <= nrh; ++r)
        for (int32_t c = 0; c < 3 && int64_t(ncl) + c <= nch; ++c)
            dst[r][c] = src[nrl + r][ncl + c];
}

MLINK_CA410_API void Clamp3(double out[3], const double in[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = in[i] < 0.0 ? 0.0 : in[i];
}

MLINK_CA410_API void SetUnity3x3(double m[9])
{
    for (int i = 0; i < 9; ++i)
        m[i] = i % 4 == 0 ? 1.0 : 0.0;
}

MLINK_CA410_API void Copy3x3(double dst[9], const double src[9])
{
    std::memmove(dst, src, 9 * sizeof(double));
}

MLINK_CA410_API void MulBy3x3(double out[3], const double m[9], const double in[3])
{
    double tmp[3];
    for (int r = 0; r < 3; ++r)
        tmp[r] = m[3 * r] * in[0] + m[3 * r + 1] * in[1] + m[3 * r + 2] * in[2];
    std::memcpy(out, tmp, sizeof tmp);
}

MLINK_CA410_API void Mul3x3_2(double dst[9], const double a[9], const double b[9])
{
    double tmp[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            tmp[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
    std::memcpy(dst, tmp, sizeof tmp);
}

MLINK_CA410_API double Det3x3(const double m[9])
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6])
           + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

MLINK_CA410_API void adjust(double out[9], const double m[9])
{
    double tmp[9];
    tmp[0] = m[4] * m[8] - m[5] * m[7];
    tmp[1] = m[2] * m[7] - m[1] * m[8];
    tmp[2] = m[1] * m[5] - m[2] * m[4];
    tmp[3] = m[5] * m[6] - m[3] * m[8];
    tmp[4] = m[0] * m[8] - m[2] * m[6];
    tmp[5] = m[2] * m[3] - m[0] * m[5];
    tmp[6] = m[3] * m[7] - m[4] * m[6];
    tmp[7] = m[1] * m[6] - m[0] * m[7];
    tmp[8] = m[0] * m[4] - m[1] * m[3];
    std::memcpy(out, tmp, sizeof tmp);
}

MLINK_CA410_API int32_t Inverse3x3(double dst[9], const double src[9])
{
    const double det = Det3x3(src);
    if (!(std::fabs(det) >= 1e-8))
        return 1;
    double adj[9];
    adjust(adj, src);
    for (int i = 0; i < 9; ++i)
        dst[i] = adj[i] / det;
    return 0;
}

MLINK_CA410_API void Transpose3x3(double dst[9], const double src[9])
{
    double tmp[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            tmp[3 * c + r] = src[3 * r + c];
    std::memcpy(dst, tmp, sizeof tmp);
}

} // extern "C"
