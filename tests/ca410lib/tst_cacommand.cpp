// The CA-410 command exchange, its reply grammar and the identity probe,
// against the emulated instrument.
#include "ca410dev.h"
#include "emulatorbench.h"

#include <QtTest>

#include <cstring>
#include <poll.h>

namespace {

enum {
    IDO = 1, RST = 2, BPS = 4, MDS = 6, SCS = 12, STR = 19, RGS, RGR, LUS, ZRC, TDR = 25,
    UCS, UWT, URD, UGR, UBL, ETR, IDS, MDD = 35, MES = 38
};

// One command to the emulator, the result it should give and, when not null,
// the data of its reply.
struct Step {
    int cmd;
    const char* params;
    int32_t result;
    const char* data;
};

} // namespace

class TstCaCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { m_log.reset(); }

    void okRepliesReturnTheirData();
    void repliesMapToResults_data();
    void repliesMapToResults();
    void longDataIsCutToTheBuffer();
    void missingRepliesFail();
    void lateRepliesNeverAnswerALaterCommand_data();
    void lateRepliesNeverAnswerALaterCommand();
    void anEndlessForeignLineEndsWithTheTransport();
    void foreignRepliesAreDiscardedWhole_data();
    void foreignRepliesAreDiscardedWhole();
    void exchangeKeepsToItsBudget();
    void invalidCommandsAreNeverSent();
    void emulatorKeepsItsState();
    void identityProbe();
    void bufDumpRows();

private:
    std::string send(int cmd, const char* params, int32_t* result, int32_t rsize = 256, int32_t timeout = 1000);
    bool reopen();
    void run(std::initializer_list<Step> steps);

    Ca410Emulator m_emulator;
    ser_com* m_port = nullptr;
    ca410_dev m_dev{};
    std::unique_ptr<LogCapture> m_log;
};

void TstCaCommand::initTestCase()
{
    QVERIFY(m_emulator.start());
    QVERIFY(reopen());
}

// Drops the port and sets a new one up on the same device, as a new handle does.
bool TstCaCommand::reopen()
{
    ser_com_del(m_port);
    m_port = openPort(m_emulator.devicePath());
    m_dev.ser = m_port;
    return m_port;
}

void TstCaCommand::cleanupTestCase()
{
    ser_com_del(m_port);
}

void TstCaCommand::init()
{
    startCase(m_emulator, m_log);
}

std::string TstCaCommand::send(int cmd, const char* params, int32_t* result, int32_t rsize, int32_t timeout)
{
    std::vector<char> reply(static_cast<size_t>(rsize), 'Q');
    int32_t length = -1;
    *result = ca_command(&m_dev, cmd, params, 0, reply.data(), rsize, &length, timeout);
    if (*result != 0 && *result != 49)
        return std::string(reply.data(), reply.size()) == std::string(reply.size(), 'Q') ? "<untouched>" : "<changed>";
    const std::string data(reply.data());
    if (length != static_cast<int32_t>(data.size()))
        return "<length " + std::to_string(length) + " for " + data + ">";
    return data;
}

void TstCaCommand::okRepliesReturnTheirData()
{
    int32_t result = -1;
    m_emulator.setSetting(0, "7");
    QCOMPARE(send(STR, "0", &result), std::string("7"));
    QCOMPARE(result, 0);
    QCOMPARE(m_emulator.commands().back(), std::string("STR,0"));

    // "OK00" alone is success with empty data.
    QCOMPARE(send(ZRC, nullptr, &result), std::string(""));
    QCOMPARE(result, 0);
    QCOMPARE(m_emulator.commands().back(), std::string("ZRC"));

    m_emulator.addFault(Fault::Raw, "STR,", 0, 1, "OK00,a,b,c\r");
    QCOMPARE(send(STR, "1", &result), std::string("a,b,c"));

    // An explicit parameter length sends just that many bytes.
    QCOMPARE(ca_command(&m_dev, STR, "0junk", 1, nullptr, 0, nullptr, 1000), 0);
    QCOMPARE(m_emulator.commands().back(), std::string("STR,0"));

    // Bytes after the terminator belong to no reply of this command.
    m_emulator.addFault(Fault::Raw, "STR,", 0, 1, "OK00,1\rOK00,2");
    QCOMPARE(send(STR, "0", &result), std::string("1"));
    QCOMPARE(result, 0);
}

void TstCaCommand::repliesMapToResults_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("data");    // what the reply buffer holds afterwards
    QTest::addColumn<QString>("logged");
    QTest::newRow("data") << QByteArray("OK00,12345\r") << 0 << "12345" << "";
    QTest::newRow("OK01") << QByteArray("OK01,7\r") << 0 << "7" << "[wcode]: [OK01], user calibration data err,\n";
    QTest::newRow("OK06") << QByteArray("OK06,7\r") << 0 << "7"
                          << "[wcode]: [OK06], probe temperature shifted 6,probe temperature shifted 6\n";
    // Above 63 the number is read less 64.
    QTest::newRow("OK66") << QByteArray("OK66,7\r") << 0 << "7" << "[wcode]: [OK02], probe temperature shifted 6,\n";
    const auto error = [](const char* number, int code, const char* text) {
        QTest::newRow(number) << QByteArray(number) + "\r" << code << "<untouched>"
                              << QString("[ecode]: [%1] : %2\n[ca_command]: receive err, [ER%1]\n")
                                     .arg(QString(number).mid(2), text);
    };
    error("ER03", 16, "input color difference value or calib val , invalid value");
    error("ER10", 19, "invalide command");
    error("ER22", 23, "measure brightness exceed the range");
    error("ER32", 25, "memory data write and read error");
    error("ER99", 36, "instrument program error");
    error("ER07", 39, "unknown err 7");
    QTest::newRow("too short") << QByteArray("OK\r") << 52 << "<untouched>"
                               << "[ca_command]: receive len=3 < 5 , err\n";
    // A reply that is neither OK nor ER is no answer of the instrument.
    QTest::newRow("neither OK nor ER") << QByteArray("HELLO,1\r") << 39 << "<untouched>"
                                       << "[ca_command]: communication failed, invalid reply [HELLO,1^M]\n";
}

void TstCaCommand::repliesMapToResults()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QString, data);
    QFETCH(QString, logged);
    m_emulator.addFault(Fault::Raw, "STR,", 0, 2, reply.toStdString());
    int32_t got = -1;
    QCOMPARE(send(STR, "0", &got), data.toStdString());
    QCOMPARE(got, result);
    // A success logs its warning alone; a failure may come after a line the
    // exchange discarded on the way.
    if (result == 0)
        QCOMPARE(QString::fromStdString(m_log->errorText), logged);
    else
        QVERIFY2(contains(m_log->errorText, logged.toStdString()), m_log->errorText.c_str());
    // Without a reply buffer the reply is only checked; the length is the
    // data's with its comma, which is only dropped when copying.
    int32_t length = 5;
    QCOMPARE(ca_command(&m_dev, STR, "0", 0, nullptr, 0, &length, 1000), result);
    QCOMPARE(length, result == 0 ? data.size() + 1 : 0);
}

void TstCaCommand::longDataIsCutToTheBuffer()
{
    const std::string data(70, 'd');
    m_emulator.addFault(Fault::Raw, "STR,", 0, 1, "OK00," + data + "\r");
    int32_t result = -1;
    // 63 bytes of room, one of which the comma took.
    QCOMPARE(send(STR, "0", &result, 64), std::string(62, 'd'));
    QCOMPARE(result, 49);
    QVERIFY(contains(m_log->errorText, "[ca_command]: data size 71 > rbuf size 64, part data returned\n"));

    // The comma counts when checking the room: six characters fit eight bytes,
    // seven are cut to six.
    m_emulator.addFault(Fault::Raw, "STR,", 0, 1, "OK00,123456\r");
    QCOMPARE(send(STR, "0", &result, 8), std::string("123456"));
    QCOMPARE(result, 0);
    m_emulator.addFault(Fault::Raw, "STR,", 0, 1, "OK00,1234567\r");
    QCOMPARE(send(STR, "0", &result, 8), std::string("123456"));
    QCOMPARE(result, 49);
    // A reply longer than the exchange's own 1023 bytes ends the read full.
    m_emulator.addFault(Fault::OverLong, "STR,", 1500);
    const std::string full = send(STR, "0", &result, 2048);
    QVERIFY2(full.size() == size_t(1023 - 5), full.c_str());
    QCOMPARE(result, 0);
}

void TstCaCommand::missingRepliesFail()
{
    m_emulator.addFault(Fault::Silence, "STR,");
    int32_t length = 9;
    char reply[32] = "keep";
    QCOMPARE(ca_command(&m_dev, STR, "0", 0, reply, sizeof reply, &length, 100), 38);
    QCOMPARE(length, 0);
    QCOMPARE(std::string(reply), std::string("keep"));
    QVERIFY(contains(m_log->errorText, "[ca_command]: communication timeout err, 0x4000\n"));

    // A transport that is not open is a communication failure.
    ser_com* closed = new_ser_com(m_emulator.devicePath().c_str());
    ca410_dev dev{};
    dev.ser = closed;
    QCOMPARE(ca_command(&dev, STR, "0", 0, reply, sizeof reply, &length, 100), 39);
    QVERIFY(contains(m_log->errorText, "[ca_command]: communication failed, 0x20000\n"));
    ser_com_del(closed);
}

void TstCaCommand::exchangeKeepsToItsBudget()
{
    // A reply late by most of the budget is still taken.
    int32_t result = -1;
    m_emulator.setSetting(0, "7");
    m_emulator.addFault(Fault::Slow, "STR,", 800);
    int64_t start = msec_time();
    QCOMPARE(send(STR, "0", &result, 256, 1000), std::string("7"));
    int64_t took = msec_time() - start;
    QVERIFY2(took >= 800 && took < 1000, qPrintable(QString::number(took)));

    // An unanswered exchange gives up after its budget, not long after: the
    // drain before it costs a few tens of milliseconds at most.
    m_emulator.addFault(Fault::Silence, "STR,");
    start = msec_time();
    QCOMPARE(send(STR, "0", &result, 256, 1000), std::string("<untouched>"));
    took = msec_time() - start;
    QCOMPARE(result, 38);
    QVERIFY2(took >= 1000 && took <= 1200, qPrintable(QString::number(took)));

    // Its reply is owed: the next exchange waits for it a while, up to as
    // long again as its budget, and then goes on.
    start = msec_time();
    QCOMPARE(send(STR, "0", &result, 256, 1000), std::string("7"));
    took = msec_time() - start;
    QVERIFY2(took >= 900 && took <= 1300, qPrintable(QString::number(took)));
}

void TstCaCommand::lateRepliesNeverAnswerALaterCommand_data()
{
    // The first of four readings is answered after its budget, whole or in two
    // pieces with a pause between them.
    QTest::addColumn<int>("lateMs");      // from its command to the reply's first byte
    QTest::addColumn<int>("pauseMs");     // between the two pieces; 0: it comes whole
    QTest::addColumn<int>("budgetMs");    // of the first reading
    QTest::addColumn<bool>("paced");      // at the instrument's own line rate
    QTest::addColumn<bool>("landed");     // the next exchange starts once the first piece is in
    QTest::addColumn<bool>("newHandle");  // the next readings go through a port opened afresh
    QTest::addColumn<int>("quickMs");     // the next reading takes less than this; 0: no bound
    QTest::newRow("whole, during the next exchange") << 250 << 0 << 100 << false << false << false << 0;
    QTest::newRow("whole, in before the next exchange") << 200 << 0 << 60 << false << true << false << 0;
    QTest::newRow("split, during the next exchange") << 250 << 40 << 100 << false << false << false << 0;
    QTest::newRow("split, head before the drain, tail after it") << 130 << 60 << 100 << false << true << false << 0;
    // A reading takes 11 ms at the line rate: the exchange gives up while it is
    // still arriving, and the next command's drain swallows the rest as it comes.
    QTest::newRow("paced, arriving as the exchange gives up") << 25 << 0 << 30 << true << false << false << 0;
    // Starts only after the exchange gave up, while the next one is draining.
    QTest::newRow("paced, starting during the next drain") << 36 << 0 << 30 << true << false << false << 0;
    QTest::newRow("whole, on a new handle") << 700 << 0 << 100 << false << false << true << 0;
    QTest::newRow("split, on a new handle") << 700 << 60 << 100 << false << false << true << 0;
    // Setting the new port up drops a reply that is in: nothing is left to wait for.
    QTest::newRow("whole, in before a new handle") << 150 << 0 << 100 << false << true << true << 300;
    // The head comes before the new port is set up, which flushes it; the
    // tail comes during the new handle's first exchange.
    QTest::newRow("split, head gone with the flush of a new handle") << 300 << 500 << 100 << false << false << true << 0;
}

void TstCaCommand::lateRepliesNeverAnswerALaterCommand()
{
    QFETCH(int, lateMs);
    QFETCH(int, pauseMs);
    QFETCH(int, budgetMs);
    QFETCH(bool, paced);
    QFETCH(bool, landed);
    QFETCH(bool, newHandle);
    QFETCH(int, quickMs);
    m_emulator.setSetting(23, "2");
    m_emulator.setSetting(0, "7");
    m_emulator.setSplitPause(pauseMs);
    m_emulator.setPaced(paced);
    struct Restore {
        Ca410Emulator& emulator;
        ~Restore()
        {
            emulator.setSplitPause(3);
            emulator.setPaced(false);
        }
    } restore{m_emulator};

    // A reading is its own patch's or an error, never another one's.
    const auto reading = [this](int patch, int32_t budget, QString* got) {
        showPatch(m_emulator, patch);
        char reply[256] = {};
        const int32_t result = ca_command(&m_dev, MES, "1", 0, reply, sizeof reply, nullptr, budget);
        const QStringList fields = QString::fromLatin1(reply).split(',');
        *got = fields.mid(2, 3).join(',');
        return result;
    };
    const auto own = [](int patch) {
        return QString("%1.0000,%2.0000,%3.0000").arg(patch).arg(10 * patch).arg(100 * patch);
    };

    m_emulator.addFault(pauseMs > 0 ? Fault::LateSplit : Fault::Slow, "MES,", lateMs);
    QString got;
    QCOMPARE(reading(1, budgetMs, &got), 38);
    if (landed) {
        pollfd pfd{m_port->fd, POLLIN, 0};
        QCOMPARE(poll(&pfd, 1, 2000), 1);
    }
    if (newHandle)
        QVERIFY(reopen());
    for (int patch = 2; patch <= 4; ++patch) {
        const int64_t start = msec_time();
        const int32_t result = reading(patch, 1000, &got);
        const int64_t took = msec_time() - start;
        QVERIFY2(result == 0 && got == own(patch) && (quickMs == 0 || took < quickMs),
                 qPrintable(QString("patch %1: result %2, values %3, %4 ms").arg(patch).arg(result).arg(got).arg(took)));
    }
}

void TstCaCommand::anEndlessForeignLineEndsWithTheTransport()
{
    // A transport in memory: a line longer than any reply and without its
    // end, then nothing, which the transport reports as a time-out at once.
    struct Line {
        int reads = 0;
    } line;
    static const ser_com_ops ops = {
        [](void*, const char*, int32_t, int32_t) -> int32_t { return 0; },
        [](void* context, char* buffer, int32_t size, int32_t* received, const char*, int32_t, int32_t) -> int32_t {
            auto* l = static_cast<Line*>(context);
            *received = 0;
            if (l->reads++ > 0)
                return SER_COM_TIMEOUT;
            std::memset(buffer, 'X', static_cast<size_t>(size - 1));
            *received = size - 1;
            return 0;
        },
    };
    ca410_dev dev{};
    dev.ser = new_ser_com_on(&ops, &line);
    char reply[64] = "keep";
    const int64_t start = msec_time();
    QCOMPARE(ca_command(&dev, STR, "0", 0, reply, sizeof reply, nullptr, 1000), 39);
    QVERIFY2(line.reads <= 3, qPrintable(QString::number(line.reads)));
    QVERIFY(msec_time() - start < 500);
    QCOMPARE(std::string(reply), std::string("keep"));
    ser_com_del(dev.ser);
}

void TstCaCommand::foreignRepliesAreDiscardedWhole_data()
{
    // A line no exchange on this port knew to be owed (left by a program that
    // had the port before, say) comes ahead of the answer.
    QTest::addColumn<int>("cmd");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("data");
    const QString reading = "OK00,P1,7,1.0000,10.0000,100.0000,0.0000,0\r";
    const QString identity = "OK00,CA-410,0,CA-410         ,1.20.0000,51000001\r";
    QTest::newRow("a reading before the identification")
        << int(IDO) << "0,1" << reading + identity << "CA-410,0,CA-410         ,1.20.0000,51000001";
    QTest::newRow("the tail of an identification before a reading")
        << int(MES) << "1" << ",0,CA-VP427       ,1.20.0000,51000001\rOK00,P1,7,2.0000,20.0000,200.0000,0.0000,0\r"
        << "P1,7,2.0000,20.0000,200.0000,0.0000,0";
    QTest::newRow("a bare status before a setting's value") << int(STR) << "0" << "OK00\rOK00,7\r" << "7";
    QTest::newRow("a reading before a range") << int(RGR) << "0,0" << reading + "OK00,1,5\r" << "1,5";
    QTest::newRow("a channel record before a reading")
        << int(MES) << "1" << "OK00,CH05,P1,0,0,CA-410,2,A\rOK00,P1,7,3.0000,30.0000,300.0000,0.0000,0\r"
        << "P1,7,3.0000,30.0000,300.0000,0.0000,0";
    QTest::newRow("a reading before a channel record")
        << int(TDR) << "5,1,7" << reading + "OK00,CH05,P1,0,0,CA-410,2,A\r" << "CH05,P1,0,0,CA-410,2,A";
    QTest::newRow("an identification before a reset") << int(RST) << "0,2" << identity + "OK00\r" << "";
}

void TstCaCommand::foreignRepliesAreDiscardedWhole()
{
    QFETCH(int, cmd);
    QFETCH(QString, params);
    QFETCH(QString, lines);
    QFETCH(QString, data);
    m_emulator.addFault(Fault::Raw, keystr[cmd], 0, 1, lines.toStdString());
    int32_t result = -1;
    QCOMPARE(send(cmd, params.toLatin1().constData(), &result), data.toStdString());
    QCOMPARE(result, 0);
    QCOMPARE(m_emulator.commands().size(), size_t(1));
}

void TstCaCommand::invalidCommandsAreNeverSent()
{
    LogCapture& log = *m_log;
    char reply[16] = "keep";
    int32_t length = 3;
    QCOMPARE(ca_command(&m_dev, 41, nullptr, 0, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(&m_dev, 0, "x", 0, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(&m_dev, -1, nullptr, 0, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(nullptr, STR, "0", 0, reply, sizeof reply, &length, 100), 37);
    ca410_dev bare{};
    QCOMPARE(ca_command(&bare, STR, "0", 0, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(&m_dev, STR, "0", -2, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(&m_dev, STR, nullptr, 3, reply, sizeof reply, &length, 100), 37);
    QCOMPARE(ca_command(&m_dev, STR, "0", 0, reply, 0, &length, 100), 37);
    // Prefix, parameters and carriage return must fit 127 bytes.
    const std::string tooLong(123, '1');
    QCOMPARE(ca_command(&m_dev, STR, tooLong.c_str(), 0, reply, sizeof reply, &length, 100), 37);
    QVERIFY(contains(log.errorText, "[ca_command]: invalid args\n"));
    QCOMPARE(std::string(reply), std::string("keep"));
    QCOMPARE(length, 3);

    // The longest that fits is sent whole; the emulator rejects it as a command.
    const std::string longest(122, '1');
    QCOMPARE(ca_command(&m_dev, STR, longest.c_str(), 0, reply, sizeof reply, &length, 1000), 19);
    // Nothing of the refused commands reached the instrument before it.
    const auto commands = m_emulator.commands();
    QCOMPARE(commands.size(), size_t(1));
    QCOMPARE(commands[0], "STR," + longest);
}

void TstCaCommand::run(std::initializer_list<Step> steps)
{
    for (const Step& step : steps) {
        int32_t result = -1;
        const std::string data = send(step.cmd, step.params, &result, 512);
        QVERIFY2(result == step.result && (!step.data || data == step.data),
                 qPrintable(QString("%1%2: %3 [%4]").arg(keystr[step.cmd], step.params ? step.params : "")
                                .arg(result).arg(QString::fromStdString(data))));
    }
}

void TstCaCommand::emulatorKeepsItsState()
{
    int32_t result = -1;
    run({{IDO, "0,1", 0, "CA-410,0,CA-410         ,1.20.0000,51000001"}});
    // Every setting of the table can be read.
    for (const ca410_cfg& c : cfgs) {
        const std::string value = send(STR, std::to_string(c.id).c_str(), &result);
        QVERIFY2(result == 0 && !value.empty(), c.name);
    }

    // Settings read back through STR; the measurement reset restores them.
    run({{LUS, "1", 0, ""}, {SCS, "4,60", 0, ""}, {STR, "6", 0, "1"}, {STR, "1", 0, "4"}, {STR, "28", 0, "60"},
         {RST, "0,2", 0, ""}, {STR, "6", 0, "0"}, {RGS, "0,0,1,5", 0, ""}, {RGR, "0,0", 0, "1,5"},
         {RGS, "0,1,1,5", 19, nullptr}});  // flicker ranges end at 4

    // Measuring needs the zero calibration. "MES,2" asks for the short
    // record, which ends after the three values.
    m_emulator.setSetting(23, "0");
    m_emulator.setMeasurement(10.5, 20.25, 30.125);
    run({{MES, "1", 19, nullptr}, {ZRC, nullptr, 0, ""}, {MDS, "7", 0, ""},
         {MES, "1", 0, "P1,7,10.5000,20.2500,30.1250,0.0000,0"}, {MES, "2", 0, "P1,7,10.5000,20.2500,30.1250"}});

    // A user calibration: targets only in user calibration mode, each after a
    // reading of its own, whose values it keeps; ETR only with all four colours.
    const char* const white = "7,95.000000,100.000000,108.000000";
    const char* const red = "7, 41.000000, 21.000000,  2.000000";
    run({{UCS, "0", 0, ""}, {UWT, white, 19, nullptr}, {UCS, "1", 0, ""}});
    QCOMPARE(m_emulator.calibrationMode(), 1);
    run({{UWT, white, 17, nullptr}, {MES, "1", 0, nullptr}});  // the reading before the mode does not count
    m_emulator.setMeasurement(1, 2, 3);  // changed after the reading: not what is kept
    run({{UWT, white, 0, ""}, {URD, red, 17, nullptr}, {MES, "1", 0, nullptr}, {URD, red, 0, ""},
         {ETR, "5,2026,12,6,18,00,00", 18, nullptr},  // without green and blue
         {MES, "1", 0, nullptr}, {UGR, "7,36.000000,72.000000,12.000000", 0, ""},
         {MES, "1", 0, nullptr}, {UBL, "7,18.000000,7.000000,95.000000", 0, ""},
         {ETR, "5,2026,12,6,18,00,00", 0, ""}, {IDS, "01,05,Panel A", 0, ""},
         {IDS, "01,00,Zero", 0, ""}});  // channel 0 can be named too
    const QStringList fields = QString::fromStdString(send(TDR, "5,1,7", &result, 512)).split(',');
    QCOMPARE(fields.size(), 42);
    QCOMPARE(QStringList({fields[0], fields[5], fields[6], fields[8], fields[36]}),
             QStringList({"CH05", "2", "Panel A   ", "7", "2026"}));
    // White target Y, red target X, white and red measured X.
    QCOMPARE(QStringList({fields[13], fields[15], fields[24], fields[27]}),
             QStringList({"100.0000", "41.0000", "10.5000", "1.0000"}));
    // TDR answers in the display mode asked for.
    QCOMPARE(QString::fromStdString(send(TDR, "5,1,0", &result, 512)).split(',').value(8), QString("0"));
    run({{TDR, "5,1,2", 19, nullptr}});
    m_emulator.addFault(Fault::WrongChannel, "TDR,");
    QVERIFY(send(TDR, "5,1,7", &result, 512).compare(0, 5, "CH06,") == 0);

    // Reset types: 1 keeps the display mode, 2 restores the measurement
    // settings only, 0 everything.
    run({{RST, "0,1", 0, ""}, {STR, "0", 0, "7"}, {RST, "0,2", 0, ""}, {STR, "0", 0, "0"}});
    QCOMPARE(m_emulator.calibrationMode(), 1);
    run({{RST, "0,0", 0, ""}});
    QCOMPARE(m_emulator.calibrationMode(), 0);

    run({{MDD, "1,5", 0, ""}});  // deletes the channel
    QCOMPARE(m_emulator.channel(5).calType, 0);
    run({{BPS, "1", 19, nullptr}});  // commands the library never sends are refused
}

void TstCaCommand::identityProbe()
{
    Ca410Emulator other;
    QVERIFY(other.start());
    ser_com* port = new_ser_com(other.devicePath().c_str());
    QCOMPARE(ser_com_check_ca410(port), 0);
    QCOMPARE(ser_com_is_open(port), 1);  // left open for the caller
    QCOMPARE(other.commands().back(), std::string("IDO,0,1"));

    // Reads return early now, so the line may come in pieces.
    other.addFault(Fault::Split, "IDO,", 6);
    QCOMPARE(ser_com_check_ca410(port), 0);

    other.setIdentity("CA-310", "CA-310", "1.00", "1");
    QCOMPARE(ser_com_check_ca410(port), -1);
    other.setIdentity("CA-410", "CA-410", "1.20", "51000001");
    other.addFault(Fault::Raw, "IDO,", 0, 1, "OK00,CA-410,\r");
    QCOMPARE(ser_com_check_ca410(port), -1);  // nothing after the family name
    ser_com_del(port);

    ser_com* missing = new_ser_com("/dev/h6-no-such-port");
    LogCapture& log = *m_log;
    QCOMPARE(ser_com_check_ca410(missing), SER_COM_FATAL);
    QVERIFY(contains(log.errorText, "[ser_com_check_ca410]: set_com_setport err 0x20000\n"));
    ser_com_del(missing);
}

void TstCaCommand::bufDumpRows()
{
    LogCapture& log = *m_log;
    clog_set_debug(glog, 6);
    char data[300];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<char>(i == 1 ? '\r' : 'A' + i % 26);
    QCOMPARE(buf_dump(data, 17), 0);
    QVERIFY(log.debugText.rfind("[buf_dump]: ------------ start ----------\n", 0) == 0);
    QVERIFY(contains(log.debugText, "00[ A] 01[0d] 02[ C] "));
    QVERIFY(contains(log.debugText, "0f[ P] \n10[ Q] "));
    QVERIFY(!contains(log.debugText, "256x"));
    log.clear();
    QCOMPARE(buf_dump(data, 300), 0);
    QVERIFY(contains(log.debugText, "ff[ V] \n-------------- 256x1 ---------------\n00[ W] "));
    QCOMPARE(buf_dump(nullptr, 3), 37);
}

QTEST_APPLESS_MAIN(TstCaCommand)
#include "tst_cacommand.moc"
