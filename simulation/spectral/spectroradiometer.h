#ifndef SPECTRORADIOMETER_H
#define SPECTRORADIOMETER_H

#include "matrix3.h"
#include "spectrum.h"

#include <memory>

struct xsp2cie;

// A spectroradiometer: it samples the spectrum itself and computes CIE 1931
// XYZ from it with the CA-410 library's own converter, so it has no filter
// mismatch. It is the reference the colorimeters are corrected against.
class Spectroradiometer
{
public:
    Spectroradiometer();
    ~Spectroradiometer();
    Spectroradiometer(const Spectroradiometer&) = delete;
    Spectroradiometer& operator=(const Spectroradiometer&) = delete;

    // False when the library could not make its converter; readings are then 0.
    bool isValid() const { return m_converter != nullptr; }
    // XYZ of an emission spectrum, in the library's unit (Y in cd/m² for a
    // radiance in mW/(sr·m²·nm)). Safe from one thread at a time.
    Vec3 xyz(const Spectrum& spd) const;

private:
    std::unique_ptr<xsp2cie, void (*)(xsp2cie*)> m_converter;
};

#endif // SPECTRORADIOMETER_H
