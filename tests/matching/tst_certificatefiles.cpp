#include "certificate.h"
#include "certificatecsv.h"
#include "certificatefiles.h"
#include "certificatejson.h"
#include "matchingfixtures.h"

#include "filecontents.h"
#include "pdfpages.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Certificate makeCertificate()
{
    return MatchingFixtures::standardCertificate(MatchingFixtures::samples(MatchingFixtures::kSensorError, 0.002));
}

} // namespace

class TestCertificateFiles : public QObject
{
    Q_OBJECT

private slots:
    void writesAllThreeIntoANewDirectory();
    void replacesOldFilesWhole();
    void refusalNamesTheFileAndLeavesTheOldOnes_data();
    void refusalNamesTheFileAndLeavesTheOldOnes();
};

void TestCertificateFiles::writesAllThreeIntoANewDirectory()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dir = tmp.filePath(QStringLiteral("line 3/station b"));
    const Certificate certificate = makeCertificate();
    CertificatePdf::Heading heading;
    heading.sensor = {QStringLiteral("i1Display Pro"), 4, QStringLiteral("S-1"), QString()};
    heading.reference = {QStringLiteral("CS-2000"), 9, QStringLiteral("R-77"), QString()};
    QString error;
    QVERIFY2(CertificateFiles::write(certificate, heading, dir, &error), qPrintable(error));

    const QByteArray json = fileContents(dir + QStringLiteral("/certificate.json"));
    QCOMPARE(json, CertificateJson::toJson(certificate));
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    const QJsonArray methods = doc.object().value(QStringLiteral("methods")).toArray();
    QCOMPARE(methods.size(), 4);
    QCOMPARE(doc.object().value(QStringLiteral("recommended")).toString(), certificate.recommended());

    const QByteArray csv = fileContents(dir + QStringLiteral("/certificate.csv"));
    QCOMPARE(csv, CertificateCsv::toCsv(certificate));
    // A header and a line per method and patch.
    QCOMPARE(csv.count('\n'), 1 + 4 * int(MatchingFixtures::displayPatches().size()));

    const QByteArray pdf = fileContents(dir + QStringLiteral("/certificate.pdf"));
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    QCOMPARE(pdfPageCount(pdf), 1);
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 3);
}

void TestCertificateFiles::replacesOldFilesWhole()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    // Longer than the new files, so that a leftover tail would show.
    const QByteArray old(1 << 20, 'x');
    QVERIFY(writeFileContents(tmp.filePath(QStringLiteral("certificate.json")), old));
    QVERIFY(writeFileContents(tmp.filePath(QStringLiteral("certificate.csv")), old));
    QVERIFY(writeFileContents(tmp.filePath(QStringLiteral("certificate.pdf")), old));
    const Certificate certificate = makeCertificate();
    QString error;
    QVERIFY2(CertificateFiles::write(certificate, tmp.path(), &error), qPrintable(error));
    QCOMPARE(fileContents(tmp.filePath(QStringLiteral("certificate.json"))), CertificateJson::toJson(certificate));
    QCOMPARE(fileContents(tmp.filePath(QStringLiteral("certificate.csv"))), CertificateCsv::toCsv(certificate));
    const QByteArray pdf = fileContents(tmp.filePath(QStringLiteral("certificate.pdf")));
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(!pdf.contains("xxxx"));
    QCOMPARE(pdfPageCount(pdf), 1);
}

void TestCertificateFiles::refusalNamesTheFileAndLeavesTheOldOnes_data()
{
    QTest::addColumn<QString>("directory"); // under the test's directory
    QTest::addColumn<QString>("blocked");   // made a directory there, so it cannot be written
    QTest::addColumn<QString>("named");     // what the error must name

    QTest::newRow("directory below a file") << QStringLiteral("plain/out") << QString()
                                            << QStringLiteral("plain/out");
    QTest::newRow("json cannot be written") << QStringLiteral("out") << QStringLiteral("certificate.json")
                                            << QStringLiteral("out/certificate.json");
    QTest::newRow("csv cannot be written") << QStringLiteral("out") << QStringLiteral("certificate.csv")
                                           << QStringLiteral("out/certificate.csv");
    QTest::newRow("pdf cannot be written") << QStringLiteral("out") << QStringLiteral("certificate.pdf")
                                           << QStringLiteral("out/certificate.pdf");
}

void TestCertificateFiles::refusalNamesTheFileAndLeavesTheOldOnes()
{
    QFETCH(QString, directory);
    QFETCH(QString, blocked);
    QFETCH(QString, named);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(writeFileContents(tmp.filePath(QStringLiteral("plain")), "not a directory"));
    const QString dir = tmp.filePath(directory);
    const QStringList names{QStringLiteral("certificate.json"), QStringLiteral("certificate.csv"),
                            QStringLiteral("certificate.pdf")};
    if (!blocked.isEmpty()) {
        QVERIFY(QDir().mkpath(dir + QLatin1Char('/') + blocked));
        for (const QString& name : names) {
            if (name != blocked)
                QVERIFY(writeFileContents(dir + QLatin1Char('/') + name, "old " + name.toLatin1()));
        }
    }
    QString error;
    QVERIFY(!CertificateFiles::write(makeCertificate(), dir, &error));
    QVERIFY2(error.contains(tmp.filePath(named)), qPrintable(error));
    QCOMPARE(fileContents(tmp.filePath(QStringLiteral("plain"))), QByteArray("not a directory"));
    if (blocked.isEmpty())
        return;
    // The other files are as they were, and no temporary file is left beside them.
    for (const QString& name : names) {
        if (name != blocked)
            QCOMPARE(fileContents(dir + QLatin1Char('/') + name), "old " + name.toLatin1());
    }
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 3);
}

// The PDF draws letters: Qt's graphical side, on the offscreen platform.
QTEST_MAIN(TestCertificateFiles)
#include "tst_certificatefiles.moc"
