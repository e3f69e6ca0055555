#ifndef CERTIFICATEJSON_H
#define CERTIFICATEJSON_H

#include <QByteArray>

class Certificate;

// The certificate as JSON, in a shape outside checks rely on:
// {"methods": [{"name", "matrix", "patches", "validation"}...], "recommended", "verdict"}.
// A refused method keeps the shape, with a null matrix, no patches and null
// validation figures; a figure that is not a finite number is null.
class CertificateJson
{
public:
    static QByteArray toJson(const Certificate& certificate);
};

#endif // CERTIFICATEJSON_H
