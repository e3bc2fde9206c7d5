-- The dispatch tables the gateway uses, for SQLite. Statements are separated by GO lines.
-- Only the columns the gateway reads or writes; a site's tables have many more.

CREATE TABLE BEDRIJVEN (
  bdr_id INTEGER PRIMARY KEY AUTOINCREMENT,
  bdr_naam VARCHAR(50) NOT NULL DEFAULT ''
)
GO

CREATE TABLE wagens (
  wag_id INTEGER PRIMARY KEY AUTOINCREMENT,
  wag_ludor INTEGER NOT NULL DEFAULT 0,
  wag_bdr_id INTEGER NOT NULL DEFAULT 0,
  wag_imei VARCHAR(100) NOT NULL DEFAULT '',
  wag_kenteken VARCHAR(10) NOT NULL DEFAULT '',
  wag_type CHAR(1) NOT NULL DEFAULT '',
  wag_dat_id INTEGER NOT NULL DEFAULT 0,
  wag_gps INTEGER NOT NULL DEFAULT 0
)
GO

CREATE TABLE chauffeurs (
  chf_id INTEGER PRIMARY KEY AUTOINCREMENT,
  chf_pasnummer VARCHAR(40) NOT NULL DEFAULT '',
  chf_bdr_id INTEGER NOT NULL DEFAULT 0,
  chf_naam VARCHAR(40) NOT NULL DEFAULT '',
  chf_voornaam VARCHAR(40) NOT NULL DEFAULT '',
  chf_tussenvoegsel VARCHAR(10) NOT NULL DEFAULT ''
)
GO

CREATE TABLE constanten (
  con_id INTEGER PRIMARY KEY AUTOINCREMENT,
  con_bdr_id INTEGER NOT NULL DEFAULT 0,
  con_contant INTEGER NOT NULL DEFAULT 0,
  con_tarief INTEGER NOT NULL DEFAULT 0,
  con_land VARCHAR(3) NOT NULL DEFAULT '',
  con_standaard_uren INTEGER NOT NULL DEFAULT 0
)
GO

CREATE TABLE reizigers (
  rei_id INTEGER PRIMARY KEY AUTOINCREMENT,
  rei_naam VARCHAR(50) NOT NULL DEFAULT ''
)
GO

CREATE TABLE VervoersVormenPerDebiteur (
  vpd_id INTEGER PRIMARY KEY AUTOINCREMENT,
  vpd_vor_id CHAR(1) NOT NULL DEFAULT '',
  vpd_rei_id INTEGER NOT NULL DEFAULT 0,
  vpd_pasnummer VARCHAR(40) NOT NULL DEFAULT ''
)
GO

CREATE TABLE ritstaten (
  lsn_id INTEGER PRIMARY KEY AUTOINCREMENT,
  lsn_bdr_id INTEGER NOT NULL DEFAULT 0,
  lsn_wag_id INTEGER NOT NULL DEFAULT 0,
  lsn_chf_id INTEGER NOT NULL DEFAULT 0,
  lsn_status INTEGER NOT NULL DEFAULT 0,
  lsn_actie CHAR(1) NOT NULL DEFAULT '',
  lsn_aanvang DATETIME,
  lsn_einde DATETIME,
  lsn_omschrijving VARCHAR(20) NOT NULL DEFAULT '',
  lsn_kilometerstand_aanvang DECIMAL(18,2) NOT NULL DEFAULT 0,
  lsn_kilometerstand_einde DECIMAL(18,2) NOT NULL DEFAULT 0,
  lsn_rit INTEGER NOT NULL DEFAULT 0,
  lsn_route INTEGER NOT NULL DEFAULT 0,
  lsn_taxizone INTEGER NOT NULL DEFAULT 0,
  lsn_taxizone_tijd DATETIME
)
GO

CREATE TABLE planning (
  pla_id INTEGER PRIMARY KEY AUTOINCREMENT,
  pla_tijdstip DATETIME,
  pla_datum DATETIME,
  pla_datumtijd DATETIME GENERATED ALWAYS AS (substr(pla_datum, 1, 10) || substr(pla_tijdstip, 11)) VIRTUAL,
  pla_bdr_id INTEGER NOT NULL DEFAULT 0,
  pla_wagen INTEGER NOT NULL DEFAULT 0,
  pla_chauffeur INTEGER NOT NULL DEFAULT 0,
  pla_lsn INTEGER NOT NULL DEFAULT 0,
  pla_status CHAR(1) NOT NULL DEFAULT '',
  pla_spoed INTEGER NOT NULL DEFAULT 0,
  pla_eigenaar VARCHAR(3) NOT NULL DEFAULT '',
  pla_extern INTEGER NOT NULL DEFAULT 0,
  pla_reiziger INTEGER NOT NULL DEFAULT 0,
  pla_naam_reiziger VARCHAR(50) NOT NULL DEFAULT '',
  pla_pasnummer VARCHAR(40) NOT NULL DEFAULT '',
  pla_ophstraat VARCHAR(50) NOT NULL DEFAULT '',
  pla_ophstad VARCHAR(50) NOT NULL DEFAULT '',
  pla_ophnummer VARCHAR(10) NOT NULL DEFAULT '',
  pla_ophpostcode VARCHAR(10) NOT NULL DEFAULT '',
  pla_ophnummertoe VARCHAR(6) NOT NULL DEFAULT '',
  pla_oph_land VARCHAR(2) NOT NULL DEFAULT '',
  pla_oph_syn VARCHAR(50) NOT NULL DEFAULT '',
  pla_bes_syn VARCHAR(50) NOT NULL DEFAULT '',
  pla_besstraat VARCHAR(50) NOT NULL DEFAULT '',
  pla_beststad VARCHAR(50) NOT NULL DEFAULT '',
  pla_bestnummer VARCHAR(10) NOT NULL DEFAULT '',
  pla_bestpostcode VARCHAR(10) NOT NULL DEFAULT '',
  pla_bestnummertoe VARCHAR(6) NOT NULL DEFAULT '',
  pla_zone_van INTEGER NOT NULL DEFAULT 0,
  pla_zone_naar INTEGER NOT NULL DEFAULT 0,
  pla_opmerking VARCHAR(50) NOT NULL DEFAULT '',
  pla_tekst TEXT,
  pla_rolstoel INTEGER NOT NULL DEFAULT 0,
  pla_lopers INTEGER NOT NULL DEFAULT 0,
  pla_rollers INTEGER NOT NULL DEFAULT 0,
  pla_voorin INTEGER NOT NULL DEFAULT 0,
  pla_begeleiding INTEGER NOT NULL DEFAULT 0,
  pla_route INTEGER NOT NULL DEFAULT 0,
  pla_rc INTEGER NOT NULL DEFAULT 0,
  pla_soortvervoer CHAR(1) NOT NULL DEFAULT '',
  pla_filter CHAR(1) NOT NULL DEFAULT '',
  pla_soortwagen CHAR(1) NOT NULL DEFAULT '',
  pla_soortrit CHAR(1) NOT NULL DEFAULT '',
  pla_combineren INTEGER NOT NULL DEFAULT 0,
  pla_tarief_bedrijf INTEGER NOT NULL DEFAULT 0,
  pla_bedrag DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_bedrag_1 DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_bedrag_3 DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_km_map DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_odo_start DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_odo_stop DECIMAL(18,2) NOT NULL DEFAULT 0,
  pla_tijdstip_locatie DATETIME,
  pla_tijdstip_toewijzen DATETIME,
  pla_tijdstip_bestemmen DATETIME,
  pla_tijdstip_vrijmelden DATETIME,
  pla_wachtseconden INTEGER NOT NULL DEFAULT 0,
  pla_retour_rbs INTEGER NOT NULL DEFAULT 0
)
GO

CREATE TABLE berichtenbox (
  bbo_id INTEGER PRIMARY KEY AUTOINCREMENT,
  bbo_soort INTEGER NOT NULL DEFAULT 0,
  bbo_bdr_id INTEGER NOT NULL DEFAULT 0,
  bbo_wag_id INTEGER NOT NULL DEFAULT 0,
  bbo_code VARCHAR(20) NOT NULL DEFAULT '',
  bbo_datum DATETIME DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')),
  bbo_verwerkt INTEGER NOT NULL DEFAULT 0,
  bbo_pakket TEXT,
  bbo_pla_id INTEGER NOT NULL DEFAULT 0,
  bbo_actie INTEGER NOT NULL DEFAULT 0
)
GO

CREATE TABLE Statusmeldingen (
  mel_id INTEGER PRIMARY KEY AUTOINCREMENT,
  mel_datum DATETIME DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')),
  mel_status INTEGER NOT NULL DEFAULT 0,
  mel_ritnummer INTEGER NOT NULL DEFAULT 0,
  mel_wagen INTEGER NOT NULL DEFAULT 0,
  mel_chauffeur INTEGER NOT NULL DEFAULT 0,
  mel_opmerking VARCHAR(100) NOT NULL DEFAULT ''
)
GO

CREATE TABLE GPS (
  GPS_id INTEGER PRIMARY KEY AUTOINCREMENT,
  GPS_Datum DATETIME,
  GPS_Datum_UTC DATETIME,
  GPS_IP VARCHAR(20) NOT NULL DEFAULT '',
  GPS_Imei VARCHAR(100) NOT NULL DEFAULT '',
  GPS_Statuscode VARCHAR(20) NOT NULL DEFAULT '',
  GPS_Latitude DECIMAL(18,4) NOT NULL DEFAULT 0,
  GPS_Longitude DECIMAL(18,4) NOT NULL DEFAULT 0,
  GOS_bdr_id INTEGER NOT NULL DEFAULT 0
)
GO

CREATE TABLE TRANSACTIES (
  tra_id INTEGER PRIMARY KEY AUTOINCREMENT,
  tra_datum DATETIME DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')),
  tra_gebruiker INTEGER NOT NULL DEFAULT 0,
  tra_ritstaat INTEGER NOT NULL DEFAULT 0,
  tra_rit INTEGER NOT NULL DEFAULT 0,
  tra_wagen INTEGER NOT NULL DEFAULT 0,
  tra_chauffeur INTEGER NOT NULL DEFAULT 0,
  tra_code INTEGER NOT NULL DEFAULT 0,
  tra_opmerking VARCHAR(100) NOT NULL DEFAULT ''
)
GO

CREATE INDEX ix_wagens_imei ON wagens (wag_imei)
GO
CREATE INDEX ix_ritstaten_wagen ON ritstaten (lsn_wag_id, lsn_status)
GO
-- The outgoing poller reads the oldest waiting row (bbo_soort 12, bbo_verwerkt 0) every 5
-- seconds: a site should have this index, or each tick scans the whole message box.
CREATE INDEX ix_berichtenbox_uitgaand ON berichtenbox (bbo_soort, bbo_verwerkt, bbo_datum)
GO
