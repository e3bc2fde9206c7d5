#include "outqueue.h"

#include "config/settings.h"
#include "db/database.h"
#include "hostserver.h"
#include "linkstate.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusnotifier.h"
#include "util/clock.h"
#include "util/errors.h"
#include "util/korvanfunctions.h"
#include "util/lenientint.h"

#include <QCoreApplication>

using namespace Qt::Literals::StringLiterals;

bool OutgoingQueue::append(const QString &message, const MessageRow &row)
{
    m_messages.append(message);
    m_rows.append(row);
    emit changed(m_messages);
    return true;
}

void OutgoingQueue::removeFirst()
{
    m_messages.removeFirst();
    m_rows.removeFirst();
    emit changed(m_messages);
}

QList<MessageRow> OutgoingQueue::takeRows()
{
    QList<MessageRow> taken;
    for (qsizetype i = m_rows.size() - 1; i >= 0; --i) {
        if (m_rows[i].id > 0) {
            taken.prepend(m_rows.takeAt(i));
            m_messages.removeAt(i);
        }
    }
    if (!taken.isEmpty())
        emit changed(m_messages);
    return taken;
}

void QueueTick::tick()
{
    if (p.closing)
        return;
    // Step 4 lets other events run, among them a tick of the other queue timer; that one
    // waits for the next interval instead of switching the listener a second time.
    if (m_running)
        return;
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });

    p.link.setLamps(p.database.isOpen(), p.server.isListening());

    if (p.settings.RamActive && !p.server.isListening())
        switchOn();
    if (p.closing)
        return;

    if (!p.settings.RamActive && p.server.isListening()) {
        p.server.stop();
        p.status.SendUDPKorvanDB(u"Ludor Korvan TIM server normaal uitgeschakeld"_s);
    }

    if (!p.database.isOpen() && p.server.isListening()) {
        p.server.stop();
        const QString text = u"Ludor Korvan TIM server uitgeschakeld (database)"_s;
        p.log.Logger(u"M-> "_s + text);
        QString dump = KorvanFunctions::HexDump(text);
        dump.remove(u' ');
        p.udp.SendUDPKorvan(1004, p.regional.stationName(), u"0"_s, u'#' + dump + u'#', p.clock.now());
    }

    if (!p.queue.isEmpty() && p.server.isListening())
        send();
}

void QueueTick::switchOn()
{
    if (!p.database.isOpen()) {
        if (!p.database.openDue())
            return;
        p.database.open();
    }
    QCoreApplication::processEvents();
    // A shutdown confirmed while events ran must not find the listener switched on again.
    if (p.closing || !p.database.isOpen())
        return;
    p.errors.guard([&] {
        const int port = lenientInt(p.settings.RamPoort);
        if (port < 0 || port > 65535)
            throw KorvanError(u"Ongeldig poortnummer: "_s + p.settings.RamPoort);
        p.server.start(quint16(port));
        const QString text = u"Ludor Korvan TIM server normaal ingeschakeld op poort "_s + QString::number(port);
        p.log.Logger(u"M-> "_s + text);
        p.status.SendUDPKorvanDB(text);
    });
}

void QueueTick::send()
{
    const QString &host = p.link.hostAddress();
    if (!p.link.connections().contains(host))
        return;
    // The host's own connection: with two open from its address, the newest.
    const int position = p.server.positionOf(host);
    // A checkpoint that cannot write its file is reported; the message still goes.
    p.errors.guard([&] {
        p.log.checkpoint(Log::List::Received, 500, u"RAM-IN"_s);
        p.log.checkpoint(Log::List::View, 500, u"RAM"_s);
    });
    const QString message = p.queue.first();
    try {
        p.server.writeTo(position, message);
    } catch (const std::exception &) {
        // Kept at the front: a ride order whose message-box row is already marked processed
        // must not vanish because the host was briefly unreachable.
        p.log.Logger(u"M-> "_s + host);
        p.log.Logger(u"M-> * SOCKET ERROR * "_s + message);
        return;
    }
    p.log.Logger(u"--> "_s + host);
    p.log.Logger(u"--> "_s + message);
    p.queue.removeFirst();
}

void QueueTick::BufferTimer()
{
    if (p.queue.size() >= lenientInt(p.settings.RamGetalMax))
        Button6Click();
}

void QueueTick::Button6Click()
{
    p.status.SendUDPKorvanDB(u"TIM ZOD buffer is vol, controleer datacom"_s);
}
