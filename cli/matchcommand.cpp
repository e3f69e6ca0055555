#include "matchcommand.h"

#include "certificate.h"
#include "certificatefiles.h"
#include "exitcode.h"
#include "matchingsession.h"

#include <QCommandLineParser>
#include <QDir>
#include <QLocale>

#include <cmath>

namespace {

// Fixed decimals, so columns line up; QString::number ignores the locale.
QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'f', 6) : QStringLiteral("none");
}

} // namespace

QString MatchCommand::summary() const
{
    return QStringLiteral("Work out the sensor-matching certificate again from a kept session.");
}

int MatchCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("The session file a matching run kept, with every reading of both instruments."),
        QStringLiteral("SESSION.json"));
    const QCommandLineOption outOption(
        QStringLiteral("out"),
        QStringLiteral("The directory to write certificate.json, certificate.csv and certificate.pdf "
                       "to (made if missing; files there of those names are replaced)."),
        QStringLiteral("DIR"));
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance"),
        QStringLiteral("The largest validation delta xy the recommended method may leave and still "
                       "pass (default %1).")
            .arg(QString::number(Certificate::kDefaultTolerance)),
        QStringLiteral("D"));
    parser.addOptions({fromOption, outOption, toleranceOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Works out every correction method's matrix (four-colour, fcmm, astm-e1455, "
                       "least-squares) again from the readings a matching session kept, judges each "
                       "on the validation patches, and writes the certificate to DIR. Prints each "
                       "method's largest validation delta xy and delta u'v', the recommended method "
                       "and the verdict. It ends with 0 when the recommended method passes, 4 when "
                       "it fails. Measuring a new session (--sensor, --reference, ...) is not yet "
                       "offered; only --from is."));
    if (parsed >= 0)
        return parsed;
    for (const QCommandLineOption* required : {&fromOption, &outOption}) {
        if (!parser.isSet(*required) || parser.value(*required).isEmpty())
            return usageError(QStringLiteral("--%1 is required").arg(required->names().constFirst()));
    }
    double tolerance = Certificate::kDefaultTolerance;
    if (parser.isSet(toleranceOption)) {
        bool ok = false;
        // "0,002" is a mistake, not two thousandths nor two.
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        tolerance = c.toDouble(parser.value(toleranceOption).trimmed(), &ok);
        if (!ok || !std::isfinite(tolerance) || !(tolerance > 0.0))
            return usageError(QStringLiteral("--tolerance must be a positive number, not '%1'")
                                  .arg(parser.value(toleranceOption)));
    }

    const QString from = parser.value(fromOption);
    MatchingSession session;
    QString error;
    if (!session.read(from, &error)) {
        printError(QStringLiteral("Cannot read the session %1: %2").arg(from, error));
        return ExitFile;
    }
    QStringList leftOut;
    const std::vector<MatchingSample> samples = session.samples(&leftOut);
    const auto methods = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> used;
    for (const auto& method : methods)
        used.push_back(method.get());
    Certificate certificate;
    if (!certificate.compute(samples, used, tolerance, &error)) {
        printError(QStringLiteral("The session %1 cannot be certified: %2").arg(from, error));
        return ExitFile;
    }
    const CertificatePdf::Heading heading{session.instrument(MatchingSession::Role::Sensor),
                                          session.instrument(MatchingSession::Role::Reference), session.started()};
    if (!CertificateFiles::write(certificate, heading, parser.value(outOption), &error)) {
        printError(error);
        return ExitFile;
    }
    if (!leftOut.isEmpty())
        printLine(QStringLiteral("Left out, without an accepted reading of both instruments: %1")
                      .arg(leftOut.join(QStringLiteral(", "))));
    printSummary(certificate);
    return certificate.passes() ? ExitDone : ExitFigures;
}

void MatchCommand::printSummary(const Certificate& certificate) const
{
    printLine(QStringLiteral("%1  %2  %3").arg(QStringLiteral("Method").leftJustified(14),
                                               QStringLiteral("Max delta xy").leftJustified(12),
                                               QStringLiteral("Max delta u'v'")));
    for (const Certificate::MethodResult& r : certificate.methods()) {
        if (r.refused) {
            printLine(QStringLiteral("%1  refused: %2").arg(r.name.leftJustified(14), r.error));
            continue;
        }
        printLine(QStringLiteral("%1  %2  %3")
                      .arg(r.name.leftJustified(14), figure(r.validation.deltaXy.maximum).leftJustified(12),
                           figure(r.validation.deltaUv.maximum)));
    }
    printLine(QStringLiteral("Recommended: %1")
                  .arg(certificate.recommended().isEmpty() ? QStringLiteral("none") : certificate.recommended()));
    printLine(QStringLiteral("Verdict: %1 (tolerance %2 delta xy on validation patches)")
                  .arg(certificate.passes() ? QStringLiteral("pass") : QStringLiteral("fail"),
                       QString::number(certificate.tolerance())));
}
