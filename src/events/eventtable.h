#pragma once

#include "eventparts.h"
#include "link/inbound.h"

// The vehicle link's work: decodes each "[RS2_EV" message through the table of event codes,
// stores reported positions, and hands unloading reports to `LoosmeldenVanRit` and the host's
// refusals to `WeigeringBericht`. An error that leaves here ends the message
// without a reply; a field that a code reads and the message lacks is one.
class VehicleEvents : public InboundWork
{
public:
    explicit VehicleEvents(const EventParts &parts) : m_parts(parts) {}
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    void positionReport(const InboundMessage &message) override;
    void vehicleEvent(const InboundMessage &message) override;
    void unloading(const QString &vehicle, const QString &remark) override;
    void refusal(const QString &vehicle) override;

private:
    EventParts m_parts;
};
