#include "pr6xxscmd.h"

#include "replyscan.h"

#include <QDebug>
#include <QList>

namespace {

QList<QByteArray> splitLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    int from = 0;
    for (int at = text.indexOf("\r\n"); at >= 0; at = text.indexOf("\r\n", from)) {
        lines.append(text.mid(from, at - from));
        from = at + 2;
    }
    lines.append(text.mid(from));
    return lines;
}

} // namespace

PR6xxSCmd::PR6xxSCmd(QByteArray command, int replyLength)
    : PR6xxCmd(std::move(command), replyLength)
{
}

bool PR6xxSCmd::handler(const QByteArray& reply)
{
    if (!takeStatus(reply)) {
        qDebug() << "specture error code" << errorCode();
        return false;
    }
    QByteArray data = reply.mid(8);
    const int zero = data.indexOf('\0');
    if (zero >= 0)
        data.truncate(zero);
    const QList<QByteArray> lines = splitLines(data);
    if (lines.size() < ValueCount)
        return false;
    for (int i = 0; i < ValueCount; ++i)
        m_values[size_t(i)] = ReplyScan::leadingFloat(lines.at(i));
    return true;
}
