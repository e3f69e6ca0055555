#ifndef CERTIFICATECSV_H
#define CERTIFICATECSV_H

#include <QByteArray>

class Certificate;

// The certificate as CSV: a header line, then one line per method and patch
// (a refused method gets one line with its error and no figures). Numbers in
// the C locale; a field holding a comma, a quote or a line break is quoted.
class CertificateCsv
{
public:
    static QByteArray toCsv(const Certificate& certificate);
};

#endif // CERTIFICATECSV_H
