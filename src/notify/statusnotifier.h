#pragma once

#include <QString>

// Status messages for the dispatch workstations (rows of `Statusmeldingen`). Both return
// false after an error has gone to the application-wide handler; no caller acts on it.
class StatusNotifier
{
public:
    virtual ~StatusNotifier() = default;
    // A plain text message, status 999.
    virtual bool SendUDPKorvanDB(const QString &text) = 0;
    virtual bool SendKorvanDBUpdate(int status, int vehicle, int ride, int driver, const QString &text) = 0;
};
