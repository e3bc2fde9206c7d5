#pragma once

#include <QString>
#include <QStringList>

// Every setting of the gateway, with its default. The configuration file and the window read
// and write these members through the key list in settingkeys.h; the core reads them directly.
struct Settings
{
    // Database
    QString xLoginDatabase;
    QString xLoginServer;
    QString xLoginSQL;
    QString xPaswoordSQL;
    // Listener
    bool RamActive = false;
    QString ssl_key = QStringLiteral("vemrix");
    QString RamID = QStringLiteral("CONNECT_2000");
    QString RamGetalMax = QStringLiteral("20");
    bool Minimaliseren = false;
    bool MapPointOK = false;
    QString RamPoort = QStringLiteral("2000");
    // Transport kinds
    QString vv1 = QStringLiteral("00");
    QString vv2 = QStringLiteral("09");
    QString vv3 = QStringLiteral("09");
    QString vv4 = QStringLiteral("0C");
    QString vv5 = QStringLiteral("09");
    QString vv6 = QStringLiteral("00");
    bool xaCommitRetaining = false;
    bool xaAbortRetaining = false;
    bool apxsv1 = true;
    bool APXBV1 = true;
    QString Gebruikersnummer = QStringLiteral("0");
    bool apxod1 = true;
    bool APXSD1 = true;
    QString DecimaalTeken = QStringLiteral(".");
    QString xVXLUitgaand = QStringLiteral("C:\\");
    bool VXLBackup = true;
    bool VXLActief = true;
    bool pos16 = false;
    bool MemoTekst = false;
    bool SAC = false;
    bool Loosmelden = false;
    bool GPSStatus = true;
    QString PCZM = QStringLiteral("09");
    QString School = QStringLiteral("12");
    QString Groeps = QStringLiteral("12");
    bool Centralist = false;
    bool RGD = false;
    double RGDMIN = 1;
    bool Zones = false;
    bool ZonesPositie = true;
    bool GRO = false;
    bool WachtSecondenGebruik = true;
    bool Veld4 = false;
    bool GRODELRIT = false;
    QStringList ESTLIJST = {
        QStringLiteral("1=SPRAAKAANVRAAG"),
        QStringLiteral("2=bel even naar wagen"),
        QStringLiteral("3=chatbericht met JA beantwoord"),
        QStringLiteral("4=chatbericht met NEE beantwoord"),
        QStringLiteral("5=chauffeur uit de wagen"),
        QStringLiteral("6=chauffeur terug in de wagen"),
        QStringLiteral("7=aanvraag pauze"),
        QStringLiteral("8=einde pauze gemeld"),
        QStringLiteral("9=aanvraag einde dienst"),
        QStringLiteral("10=vrijmelding"),
    };

    // Not stored: "1" after every start.
    QString Bedrijfsnummer = QStringLiteral("1");

    // Stored after the original keys.
    QString xDatabaseType = QStringLiteral("SQLSERVER");
#ifdef Q_OS_WIN
    QString xOdbcDriver = QStringLiteral("ODBC Driver 17 for SQL Server");
#else
    QString xOdbcDriver = QStringLiteral("FreeTDS");
#endif
    QString NotifyAddress = QStringLiteral("255.255.255.255");
    QString NotifyPort = QStringLiteral("54200");
    // Comma-separated IPv4 addresses that may connect as the host; empty: any.
    QString AllowedHosts;
    // The one address the listener binds to; empty: every IPv4 address.
    QString ListenAddress;
    // Empty: no update server; the check says so.
    QString UpdateURL;
    // The maker's web page, offered when the update information names none.
    QString UpdatePage;
};
