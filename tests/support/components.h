#ifndef COMPONENTS_H
#define COMPONENTS_H

#include <QList>

// The three components of a colour or a vector as one list, so that a single
// comparison shows all three when one is off. Compared exactly.
template <typename Triple>
QList<double> components(const Triple& v)
{
    return {double(v[0]), double(v[1]), double(v[2])};
}

#endif // COMPONENTS_H
