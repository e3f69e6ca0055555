#ifndef CERTIFICATEPDF_H
#define CERTIFICATEPDF_H

#include "chromaticityplot.h"
#include "matchingsession.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

class Certificate;
class QPainter;

// The certificate on one A4 page, for a person to read and file: who matched
// what against what and when, the verdict, every method's figures, the
// recommended method's patches and a chromaticity diagram of them.
//
// The page is worked out as text tables and a diagram first, which paint()
// draws onto any painter: into the PDF, or into an image to look at. Drawing
// text needs the program's graphical side (a QGuiApplication); without one,
// toPdf() refuses rather than crash.
class CertificatePdf
{
    Q_DECLARE_TR_FUNCTIONS(CertificatePdf)

public:
    // What the certificate is about, each left off the page when not known.
    struct Heading {
        MatchingSession::Instrument sensor;
        MatchingSession::Instrument reference;
        QDateTime date;
    };

    // Rows of text, all numbers in the C form. A row shorter than the header
    // (a refused method: name and reason) spans the remaining columns.
    struct Table {
        QStringList header; // a "\n" breaks a heading in two lines
        std::vector<QStringList> rows;
        int marked = -1;    // the recommended method's row
        QString note;       // below the table; empty for none
        int textColumns = 1; // the first columns, set left; figures right
    };

    // The patch table's rows on the page; more patches and the table says
    // how many it left out.
    static constexpr int kMaxPatchRows = 20;

    static QString title();
    // Sensor, reference, date and tolerance, as printed.
    static QStringList headingLines(const Certificate& certificate, const Heading& heading);
    static QString verdictText(const Certificate& certificate);
    static QString recommendedText(const Certificate& certificate);
    static Table methodTable(const Certificate& certificate);
    // The recommended method's patches: all training patches and the
    // validation patches with the largest Δxy, as many as fit, in their order.
    static Table patchTable(const Certificate& certificate, int maxRows = kMaxPatchRows);
    // Each of the recommended method's patches, reference and corrected.
    static ChromaticityPlot plot(const Certificate& certificate);
    // Where the diagram is drawn on the page, in points, in letters of kPlotFont;
    // its frame is ChromaticityPlot::frame of it.
    static QRectF plotArea(const Certificate& certificate, const Heading& heading);
    static constexpr double kPlotFont = 7.5;

    // A4 in points.
    static QSizeF pageSize();
    // The page drawn into page, scaled to fill it.
    static void paint(QPainter& painter, const QRectF& page, const Certificate& certificate,
                      const Heading& heading);

    // The PDF file's bytes; empty, with *error set, when it cannot be made.
    static QByteArray toPdf(const Certificate& certificate, const Heading& heading, QString* error);
    // Writes the file whole or not at all.
    static bool write(const QString& fileName, const Certificate& certificate, const Heading& heading,
                      QString* error);
};

#endif // CERTIFICATEPDF_H
