#include "settingkeys.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using K = SettingKey::Kind;
using T = SettingKey::Tab;

SettingKey text(QLatin1StringView key, QString Settings::*m, T tab, QLatin1StringView label, QLatin1StringView hint = {},
                QLatin1StringView group = {}, K kind = K::Text)
{
    SettingKey k { key, kind, tab, label, hint, group };
    k.text = m;
    return k;
}

SettingKey check(QLatin1StringView key, bool Settings::*m, T tab, QLatin1StringView label, QLatin1StringView hint = {})
{
    SettingKey k { key, K::Check, tab, label, hint };
    k.check = m;
    return k;
}

const auto vv = "Vervoersvormen (code)"_L1;

const std::vector<SettingKey> keys = [] {
    std::vector<SettingKey> k {
        text("xLoginDatabase_Text"_L1, &Settings::xLoginDatabase, T::Instellingen, "Database"_L1, "Databasenaam Ludor Korvan database"_L1),
        text("xLoginServer_Text"_L1, &Settings::xLoginServer, T::Instellingen, "SQL server"_L1, "Locatie SQL database"_L1),
        text("xLoginSQL_Text"_L1, &Settings::xLoginSQL, T::Instellingen, "Inlognaam"_L1, "Inlognaam SQL database"_L1),
        text("xPaswoordSQL_Text"_L1, &Settings::xPaswoordSQL, T::Instellingen, "Paswoord"_L1, "Paswoord SQL database"_L1, {}, K::Secret),
        check("RamActive_Checked"_L1, &Settings::RamActive, T::Instellingen, "Automatisch inschakelen bij opstarten software"_L1),
        text("ssl_key_Text"_L1, &Settings::ssl_key, T::Parameters, "Netwerksleutel"_L1, {}, {}, K::Secret),
        text("RamID_Text"_L1, &Settings::RamID, T::Parameters, "ID string"_L1, {}, {}, K::Choice),
        text("RamGetalMax_Text"_L1, &Settings::RamGetalMax, T::Parameters, "Maximum onverzonden"_L1),
        check("Minimaliseren_Checked"_L1, &Settings::Minimaliseren, T::Instellingen, "Minimaliseren na opstarten software"_L1),
        check("MapPointOK_Checked"_L1, &Settings::MapPointOK, T::Parameters, "Geocodering activeren"_L1),
        text("RamPoort_Text"_L1, &Settings::RamPoort, T::Instellingen, "Poortnummer"_L1, "Poortnummer"_L1),
        text("vv1_Text"_L1, &Settings::vv1, T::Parameters, "Particulier contant  op meter"_L1, {}, vv),
        text("vv2_Text"_L1, &Settings::vv2, T::Parameters, "Particulier op rekening"_L1, {}, vv),
        text("vv3_Text"_L1, &Settings::vv3, T::Parameters, "Zorgvervoer"_L1, {}, vv),
        text("vv4_Text"_L1, &Settings::vv4, T::Parameters, "Collectief vervoer"_L1, {}, vv),
        text("vv5_Text"_L1, &Settings::vv5, T::Parameters, "Treintaxi"_L1, {}, vv),
        text("vv6_Text"_L1, &Settings::vv6, T::Parameters, "Luchthavenvervoer"_L1, {}, vv),
        SettingKey { "ADO_Attributes"_L1, K::Attributes, T::None, {} },
        check("apxsv1_Checked"_L1, &Settings::apxsv1, T::Vraagteken, "SV1 koppelen aan centrale"_L1),
        check("APXBV1_Checked"_L1, &Settings::APXBV1, T::Vraagteken, "BV1 koppelen aan centrale"_L1),
        text("Gebruikersnummer_Text"_L1, &Settings::Gebruikersnummer, T::Instellingen, "Gebruikersnummer"_L1, "Gebruikersnummer transacties logboek"_L1),
        check("apxod1_Checked"_L1, &Settings::apxod1, T::Vraagteken, "OD1 koppelen aan centrale"_L1),
        check("APXSD1_Checked"_L1, &Settings::APXSD1, T::Vraagteken, "SD1 koppelen aan centrale"_L1),
        text("DecimaalTeken_Text"_L1, &Settings::DecimaalTeken, T::Parameters, "Decimaal teken"_L1, "Decimaal teken database"_L1),
        text("xVXLUitgaand_Text"_L1, &Settings::xVXLUitgaand, T::Vraagteken, "Uitgaande bestanden VXL"_L1, "Locatie XML bestanden"_L1),
        check("VXLBackup_Checked"_L1, &Settings::VXLBackup, T::Vraagteken, "Backup maken van de verzonden bestanden"_L1),
        check("VXLActief_Checked"_L1, &Settings::VXLActief, T::Vraagteken, "VXL koppeling via XML actief"_L1, "Terugkoppeling via VXL koppeling activeren"_L1),
        check("pos16_Checked"_L1, &Settings::pos16, T::Vraagteken, "BV1 ritnummer op positie 16 ontvangen"_L1),
        check("MemoTekst_Checked"_L1, &Settings::MemoTekst, T::Vraagteken, "Memo tekst meesturen naar voertuig"_L1),
        check("SAC_Checked"_L1, &Settings::SAC, T::Vraagteken, "Spraakaanvraag via SAC verwerken"_L1),
        check("Loosmelden_Checked"_L1, &Settings::Loosmelden, T::Vraagteken, "Loosmelden van de rit meteen uitvoeren"_L1),
        check("GPSStatus_Checked"_L1, &Settings::GPSStatus, T::Vraagteken, "Controleren op GPS status van een wagen"_L1),
        text("PCZM_Text"_L1, &Settings::PCZM, T::Parameters, "Particulier contant zonder meter"_L1, {}, vv),
        text("School_Text"_L1, &Settings::School, T::Parameters, "Schoolvervoer"_L1, {}, vv),
        text("Groeps_Text"_L1, &Settings::Groeps, T::Parameters, "Groepsvervoer"_L1, {}, vv),
        check("Centralist_Checked"_L1, &Settings::Centralist, T::Vraagteken, "Gebruik maken van automatische centralist"_L1),
        check("RGD_Checked"_L1, &Settings::RGD, T::Vraagteken, "Automatisch pollen naar GPS locaties > minuten"_L1),
        [] {
            SettingKey k { "RGDMIN_Value"_L1, K::Number, T::Vraagteken, {} };
            k.number = &Settings::RGDMIN;
            return k;
        }(),
        check("Zones_Checked"_L1, &Settings::Zones, T::Vraagteken, "Zone verplaatsingen verwerken"_L1),
        check("ZonesPositie_Checked"_L1, &Settings::ZonesPositie, T::Vraagteken, "Positie in zone terugzenden naar wagen"_L1),
        check("GRO_Checked"_L1, &Settings::GRO, T::Vraagteken, "GRO uitgang activeren (depreciated)"_L1),
        check("WachtSecondenGebruik_Checked"_L1, &Settings::WachtSecondenGebruik, T::Vraagteken, "Wachtseconden gebruiken"_L1),
        check("Veld4_Checked"_L1, &Settings::Veld4, T::Vraagteken, "Zonenummer in veld 4 ophalen"_L1),
        check("GRODELRIT_Checked"_L1, &Settings::GRODELRIT, T::Vraagteken, "Verwijderen van een rit via RS2_RIT"_L1,
              "Verwijderen van een rit via GRO_DELRIT optie verzenden"_L1),
        [] {
            SettingKey k { "ESTLIJST_Lines"_L1, K::Lines, T::Est, {} };
            k.lines = &Settings::ESTLIJST;
            return k;
        }(),
        // Added by this program, after the keys of the earlier one.
        text("xDatabaseType_Text"_L1, &Settings::xDatabaseType, T::Instellingen, "Databasetype"_L1,
             "SQLSERVER, POSTGRESQL of SQLITE"_L1, {}, K::Choice),
        text("xOdbcDriver_Text"_L1, &Settings::xOdbcDriver, T::Instellingen, "ODBC stuurprogramma"_L1,
             "ODBC stuurprogramma voor SQL Server"_L1),
        text("NotifyAddress_Text"_L1, &Settings::NotifyAddress, T::Parameters, "Netwerkmeldingen naar adres"_L1,
             "Adres voor de netwerkmeldingen (255.255.255.255: het hele netwerk)"_L1),
        text("NotifyPort_Text"_L1, &Settings::NotifyPort, T::Parameters, "Netwerkmeldingen poort"_L1),
        text("AllowedHosts_Text"_L1, &Settings::AllowedHosts, T::Instellingen, "Toegestane hosts"_L1,
             "IPv4-adressen die als host mogen verbinden, gescheiden door komma's (leeg: iedereen)"_L1),
        text("ListenAddress_Text"_L1, &Settings::ListenAddress, T::Instellingen, "Luisteradres"_L1,
             "IPv4-adres waarop de server luistert (leeg: alle adressen)"_L1),
        text("UpdateURL_Text"_L1, &Settings::UpdateURL, T::Parameters, "Update informatie (URL)"_L1,
             "Adres van het update informatiebestand, of alleen de naam van de update server"_L1),
        text("UpdatePage_Text"_L1, &Settings::UpdatePage, T::Parameters, "Update webpagina"_L1),
    };
    return k;
}();

} // namespace

std::span<const SettingKey> settingKeys()
{
    return keys;
}

QStringList settingChoices(const SettingKey &key)
{
    if (key.text == &Settings::RamID)
        return { u"CONNECT_97"_s, u"CONNECT_2000"_s, u"CONNECT_PE"_s };
    if (key.text == &Settings::xDatabaseType)
        return { u"SQLSERVER"_s, u"POSTGRESQL"_s, u"SQLITE"_s };
    return {};
}
