#pragma once

#include "link/inbound.h"
#include "notify/statusnotifier.h"
#include "util/errors.h"

#include <QStringList>

// Test doubles that record what the gateway asked of them.
class RecordingNotifier : public StatusNotifier
{
public:
    bool SendUDPKorvanDB(const QString &text) override
    {
        messages.append(text);
        return true;
    }
    bool SendKorvanDBUpdate(int status, int vehicle, int ride, int driver, const QString &text) override
    {
        messages.append(QStringLiteral("%1,%2,%3,%4,%5").arg(status).arg(vehicle).arg(ride).arg(driver).arg(text));
        return true;
    }
    QStringList messages;
};

// A connection that keeps what the gateway answers on it.
class RecordingConnection : public HostConnection
{
public:
    QString address() const override { return QStringLiteral("10.0.0.7"); }
    void write(const QString &text) override { writes.append(text); }
    QStringList writes;
};

class RecordingWork : public InboundWork
{
public:
    // No database: nothing to commit.
    void begin() override {}
    void commit() override {}
    void rollback() noexcept override {}
    void positionReport(const InboundMessage &m) override { record(QStringLiteral("position ") + m.fields.join(u'|')); }
    void vehicleEvent(const InboundMessage &m) override { record(QStringLiteral("event ") + m.fields.join(u'|') + u' ' + m.address); }
    void unloading(const QString &vehicle, const QString &remark) override { record(QStringLiteral("unloading ") + vehicle + u'|' + remark); }
    void refusal(const QString &vehicle) override { record(QStringLiteral("refusal ") + vehicle); }

    QStringList calls;
    QString failWith; // when set, every call throws this

private:
    void record(const QString &call)
    {
        calls.append(call);
        if (!failWith.isEmpty())
            throw KorvanError(failWith);
    }
};
