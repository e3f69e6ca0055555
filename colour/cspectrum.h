#ifndef CSPECTRUM_H
#define CSPECTRUM_H

#include "matrix.h"

#include <QVector>

class CColor;

// Sampled spectrum that may come with a reading. The base matrix is an n x 1
// column some constructors fill; the float samples are separate from it and are
// what GetData interpolates, one sample per nanometre from 380 nm.
class CSpectrum : public Matrix
{
public:
    CSpectrum();
    CSpectrum(int start, int end, int count);
    CSpectrum(int n, int start, int end, int count);
    CSpectrum(int n, int start, int end, int count, const double* values);

    int GetStart() const { return m_start; }
    int GetEnd() const { return m_end; }
    int GetCount() const { return m_count; }
    const QVector<float>& GetSamples() const { return m_samples; }

    // Writes values[0 .. count-1] to the samples from offset on; false, with
    // nothing written, when that would leave the samples.
    bool SetData(int offset, int count, const float* values);
    // Linear interpolation on the 380 nm / 1 nm grid, extended linearly beyond
    // its ends. With fewer than 401 samples the last available interval is
    // extended instead; no sample outside the data is ever read.
    float GetData(float wavelength) const;

    double& operator[](int i);
    double operator[](int i) const;

    // A spectrum yields no tristimulus value of its own.
    CColor GetXYZValue() const;

private:
    int m_start = 0;
    int m_end = 0;
    int m_count = 0;
    QVector<float> m_samples;
};

#endif // CSPECTRUM_H
