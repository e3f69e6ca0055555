// A program without Qt's graphical side (a QCoreApplication) cannot draw
// letters; asked for the certificate's PDF it must refuse, and leave the
// certificate files that were there alone.
#include "certificate.h"
#include "certificatefiles.h"
#include "certificatepdf.h"
#include "matchingfixtures.h"

#include "filecontents.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestCertificatePdfGuiless : public QObject
{
    Q_OBJECT

private slots:
    void refusesAndLeavesTheOldFiles();
};

void TestCertificatePdfGuiless::refusesAndLeavesTheOldFiles()
{
    QVERIFY(!qobject_cast<QGuiApplication*>(QCoreApplication::instance()));
    const Certificate certificate = MatchingFixtures::standardCertificate(MatchingFixtures::samples());
    QVERIFY(!certificate.recommended().isEmpty());

    QString error;
    QVERIFY(CertificatePdf::toPdf(certificate, {}, &error).isEmpty());
    QVERIFY(!error.isEmpty());

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QStringList names{CertificateFiles::jsonFileName(), CertificateFiles::csvFileName(),
                            CertificateFiles::pdfFileName()};
    for (const QString& name : names)
        QVERIFY(writeFileContents(tmp.filePath(name), "old " + name.toLatin1()));
    error.clear();
    QVERIFY(!CertificateFiles::write(certificate, tmp.path(), &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(tmp.filePath(QStringLiteral("certificate.pdf")))),
             qPrintable(error));
    for (const QString& name : names)
        QCOMPARE(fileContents(tmp.filePath(name)), "old " + name.toLatin1());
    QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 3);
}

QTEST_GUILESS_MAIN(TestCertificatePdfGuiless)
#include "tst_certificatepdfguiless.moc"
