#include "mainwindow.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "translation.h"
#include "uitest.h"

#include <QPushButton>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

struct Entry {
    QString context;
    QString source;
    QString comment;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty when finished
};

QString keyOf(const Entry& e)
{
    return e.context + QLatin1Char('\x1f') + e.source + QLatin1Char('\x1f') + e.comment;
}

// The messages of a Qt translation source, or an error text.
QList<Entry> readTs(const QString& path, QString* error)
{
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1").arg(path);
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Entry current;
    bool inMessage = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringRef name = xml.name();
            if (name == QLatin1String("name") && !inMessage) {
                context = xml.readElementText();
            } else if (name == QLatin1String("message")) {
                inMessage = true;
                current = Entry();
                current.context = context;
            } else if (inMessage && name == QLatin1String("source")) {
                current.source = xml.readElementText();
            } else if (inMessage && name == QLatin1String("comment")) {
                current.comment = xml.readElementText();
            } else if (inMessage && name == QLatin1String("translation")) {
                current.type = xml.attributes().value(QLatin1String("type")).toString();
                current.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            inMessage = false;
            entries.append(current);
        }
    }
    if (xml.hasError())
        *error = QStringLiteral("%1: %2 at line %3").arg(path, xml.errorString()).arg(xml.lineNumber());
    return entries;
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%L?\\d+"));
    QStringList found;
    auto it = marker.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    found.removeDuplicates();
    return found;
}

bool hasMnemonic(QString text)
{
    static const QRegularExpression mnemonic(QStringLiteral("&[^&\\s]"));
    return text.replace(QStringLiteral("&&"), QString()).contains(mnemonic);
}

QString describe(const Entry& e)
{
    return QStringLiteral("%1 \"%2\"").arg(e.context, e.source);
}

} // namespace

class TestChineseTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTextHasAFinishedTranslation();
    void chineseSystemGetsTheTranslatedWindows();

private:
    // The Chinese of a text, as the project's translation file holds it.
    QString chineseOf(const char* context, const QString& source) const
    {
        for (const Entry& e : m_translated) {
            if (e.context == QLatin1String(context) && e.source == source)
                return e.translation;
        }
        return QString();
    }

    QList<Entry> m_translated;
};

void TestChineseTranslation::initTestCase()
{
    QString error;
    m_translated = readTs(QStringLiteral(TRANSLATION_FILE), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!m_translated.isEmpty());
}

void TestChineseTranslation::everyTextHasAFinishedTranslation()
{
    const QList<Entry>& translated = m_translated;

    // What the sources hold now, as Qt's own extractor sees it.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString freshPath = scratch.filePath(QStringLiteral("fresh.ts"));
    QStringList arguments{QStringLiteral("-silent"), QStringLiteral("-no-obsolete"),
                          QStringLiteral("-locations"), QStringLiteral("none")};
    arguments << QStringLiteral(TRANSLATED_DIRS).split(QLatin1Char(','));
    arguments << QStringLiteral("-ts") << freshPath;
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(SOURCE_ROOT));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(LUPDATE_EXECUTABLE), arguments);
    QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAll().constData());
    QString error;
    const QList<Entry> fresh = readTs(freshPath, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(fresh.size() > 100);

    QStringList problems;
    QHash<QString, Entry> byKey;
    for (const Entry& e : translated) {
        byKey.insert(keyOf(e), e);
        if (!e.type.isEmpty())
            problems << QStringLiteral("%1 is %2").arg(describe(e), e.type);
        else if (e.translation.trimmed().isEmpty())
            problems << QStringLiteral("%1 has an empty translation").arg(describe(e));
        else if (placeholders(e.translation) != placeholders(e.source))
            problems << QStringLiteral("%1 has other placeholders: \"%2\"").arg(describe(e), e.translation);
        else if (hasMnemonic(e.source) && !hasMnemonic(e.translation))
            problems << QStringLiteral("%1 lost its shortcut letter: \"%2\"").arg(describe(e), e.translation);
    }
    QSet<QString> inSources;
    for (const Entry& e : fresh) {
        inSources.insert(keyOf(e));
        if (!byKey.contains(keyOf(e)))
            problems << QStringLiteral("%1 has no translation").arg(describe(e));
    }
    for (const Entry& e : translated) {
        if (!inSources.contains(keyOf(e)))
            problems << QStringLiteral("%1 is no longer in the sources").arg(describe(e));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("\n") + problems.join(QLatin1Char('\n'))));
}

// The compiled translation beside the program, as the program installs it on
// a Chinese system, reaches the windows of the program and of the simulation.
// Which languages load it, and Qt's own, is the loader's test's concern.
void TestChineseTranslation::chineseSystemGetsTheTranslatedWindows()
{
    const QString chineseTitle = chineseOf("MainWindow", QStringLiteral("Huelink Trimline"));
    QVERIFY(!chineseTitle.isEmpty());
    QVERIFY(chineseTitle != QLatin1String("Huelink Trimline"));
    const QHash<QString, QString> stationButtons = {{QStringLiteral("copyButton"), QStringLiteral("Copy")},
                                                    {QStringLiteral("alignButton"), QStringLiteral("Align display")},
                                                    {QStringLiteral("cancelButton"), QStringLiteral("Cancel")}};
    QStringList stationTexts = stationButtons.values();
    stationTexts << QStringLiteral("Simulated station");
    for (const QString& source : stationTexts) {
        QVERIFY2(!chineseOf("StationWindow", source).isEmpty(), qPrintable(source));
        QVERIFY2(chineseOf("StationWindow", source) != source, qPrintable(source));
    }

    QTranslator translator;
    QVERIFY(installTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China), translator,
                               QStringLiteral(PROGRAM_DIR)));
    QCOMPARE(MainWindow().windowTitle(), chineseTitle);
    // A station that is not started: the window shows it all the same.
    SimulatedStation simulated{QString()};
    StationWindow window(simulated);
    QCOMPARE(window.windowTitle(), chineseOf("StationWindow", QStringLiteral("Simulated station")));
    for (auto it = stationButtons.cbegin(); it != stationButtons.cend(); ++it) {
        const auto* button = window.findChild<QPushButton*>(it.key());
        QVERIFY2(button, qPrintable(it.key()));
        QCOMPARE(button->text(), chineseOf("StationWindow", it.value()));
    }
    QCoreApplication::removeTranslator(&translator);
}

LUMASERVE_UI_TEST_MAIN(TestChineseTranslation)

#include "tst_chinesetranslation.moc"
