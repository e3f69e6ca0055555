#ifndef MLINK_XSPECT_H
#define MLINK_XSPECT_H

/* Spectral-to-CIE conversion and small matrix helpers of the CA-410 library:
 * sampled spectra with interpolation, a converter from an emission spectrum to
 * XYZ with the CIE standard observers, matrices with arbitrary index bounds and
 * 3 x 3 arithmetic. Part of the library's public interface (mlink_ca410.h). */

#include <stdint.h>

#ifndef MLINK_CA410_API
#if defined(_WIN32)
#define MLINK_CA410_API __declspec(dllexport)
#else
#define MLINK_CA410_API __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define XSPECT_MAX_BANDS 601

/* Samples equally spaced from wl_short to wl_long; interpolated values are
 * divided by norm. */
typedef struct {
    int32_t count;
    double wl_short;
    double wl_long;
    double norm;
    double values[XSPECT_MAX_BANDS];
} xspect;

/* No illuminant: 300-830 nm, every sample 1. */
extern MLINK_CA410_API const xspect il_none;
/* x, y, z bar of the standard observers, 360-830 nm at 1 nm. */
extern MLINK_CA410_API const xspect ob_CIE_1931_2[3];
extern MLINK_CA410_API const xspect ob_CIE_1964_10[3];

/* Observer types. */
#define XSPECT_OBS_DEFAULT 0
#define XSPECT_OBS_NONE 1
#define XSPECT_OBS_CUSTOM 2
#define XSPECT_OBS_CIE_1931_2 3
#define XSPECT_OBS_CIE_1964_10 4
#define XSPECT_OBS_CIE_2012_2 5
#define XSPECT_OBS_CIE_2012_10 6

/* Points out[0..2] at the standard observer's spectra: 0 on success, 1 for a
 * type without built-in data. */
MLINK_CA410_API int32_t standardObserver(const xspect *out[3], int32_t type);
MLINK_CA410_API const char *stardardObserverDescription(int32_t type);

/* Interpolated sample at wl: 1 when wl lies inside the spectrum's range, 0 when
 * it was clamped to it, -1 (out untouched) for a malformed spectrum or null
 * argument. getval_raw_xspec picks linear interpolation below 5.01 nm spacing
 * and the cubic otherwise; getval_xspec also divides by norm. */
MLINK_CA410_API int32_t getval_raw_xspec_lin(const xspect *sp, double *out, double wl);
MLINK_CA410_API int32_t getval_raw_xspec_poly3(const xspect *sp, double *out, double wl);
MLINK_CA410_API int32_t getval_raw_xspec(const xspect *sp, double *out, double wl);
MLINK_CA410_API int32_t getval_xspec(const xspect *sp, double *out, double wl);
/* Prints the spectrum on standard output; 0, or -1 for a null or malformed one. */
MLINK_CA410_API int32_t xspect_dump(const xspect *sp);

/* Output types. */
#define XSPECT_CIE_XYZ 0

typedef struct xsp2cie xsp2cie;
struct xsp2cie_weights;
struct xsp2cie {
    xspect illuminant;
    int32_t emissive;
    xspect observer[3];
    int32_t output_type;
    int32_t clamp;
    int32_t step;
    double wl_start;
    double wl_end;
    void (*del)(xsp2cie *conv);
    int32_t (*convert)(xsp2cie *conv, double xyz[3], const xspect *spectrum);
    /* Private to the library: the observer sampled at the integration points,
     * prepared by new_xsp2cie for converters whose integration starts on a
     * whole nanometre, and freed by xsp2cie_del. Spectra on whole nanometres
     * are then converted with a plain weighted sum. The observer is taken as
     * it was at creation; a converter built or copied by hand sets this to
     * null and is converted sample by sample. */
    struct xsp2cie_weights *weights;
};

/* A converter for emission spectra to XYZ; null for an observer type without
 * data, a custom type without a custom observer (three spectra x, y, z bar), or
 * an output type other than XSPECT_CIE_XYZ. Free with xsp2cie_del. */
MLINK_CA410_API xsp2cie *new_xsp2cie(int32_t observerType, const xspect *customObserver,
                                     int32_t outputType);
MLINK_CA410_API void xsp2cie_del(xsp2cie *conv);
/* 0 on success, -1 for a null argument or a malformed spectrum. */
MLINK_CA410_API int32_t xsp2cie_convert(xsp2cie *conv, double xyz[3], const xspect *spectrum);
MLINK_CA410_API int32_t xsp2cie_sconvert(xsp2cie *conv, xspect *spectrumOut, double xyz[3],
                                         const xspect *spectrum);

/* Matrix addressed m[r][c] for nrl <= r <= nrh, ncl <= c <= nch; null when it
 * cannot be allocated. Free with free_dmatrix and the same first row. */
MLINK_CA410_API double **dmatrix(int32_t nrl, int32_t nrh, int32_t ncl, int32_t nch);
MLINK_CA410_API void free_dmatrix(double **m, int32_t nrl);
/* Copies up to three rows and columns from (nrl, ncl) on into dst[0..2][0..2]. */
MLINK_CA410_API void copy_dmatrix_to3x3(double dst[3][3], double **src, int32_t nrl, int32_t nrh,
                                        int32_t ncl, int32_t nch);

/* 3 x 3 helpers on row-major arrays of nine doubles and vectors of three. */
MLINK_CA410_API void Clamp3(double out[3], const double in[3]);
MLINK_CA410_API void SetUnity3x3(double m[9]);
MLINK_CA410_API void Copy3x3(double dst[9], const double src[9]);
MLINK_CA410_API void MulBy3x3(double out[3], const double m[9], const double in[3]);
MLINK_CA410_API void Mul3x3_2(double dst[9], const double a[9], const double b[9]);
MLINK_CA410_API double Det3x3(const double m[9]);
MLINK_CA410_API void adjust(double out[9], const double m[9]);
/* 1, with dst untouched, when |det| < 1e-8; otherwise dst = inverse and 0. */
MLINK_CA410_API int32_t Inverse3x3(double dst[9], const double src[9]);
MLINK_CA410_API void Transpose3x3(double dst[9], const double src[9]);

#ifdef __cplusplus
}
#endif

#endif /* MLINK_XSPECT_H */
