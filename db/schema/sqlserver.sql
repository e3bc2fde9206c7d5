-- The dispatch tables the gateway uses, for SQL Server (run with sqlcmd; GO separates batches).
-- Only the columns the gateway reads or writes; a site's tables have many more.

CREATE TABLE BEDRIJVEN (
  bdr_id INT IDENTITY(1,1) PRIMARY KEY,
  bdr_naam VARCHAR(50) NOT NULL DEFAULT ''
)
GO

CREATE TABLE wagens (
  wag_id INT IDENTITY(1,1) PRIMARY KEY,
  wag_ludor INT NOT NULL DEFAULT 0,
  wag_bdr_id INT NOT NULL DEFAULT 0,
  wag_imei VARCHAR(100) NOT NULL DEFAULT '',
  wag_kenteken VARCHAR(10) NOT NULL DEFAULT '',
  wag_type VARCHAR(1) NOT NULL DEFAULT '',
  wag_dat_id INT NOT NULL DEFAULT 0,
  wag_gps INT NOT NULL DEFAULT 0
)
GO

CREATE TABLE chauffeurs (
  chf_id INT IDENTITY(1,1) PRIMARY KEY,
  chf_pasnummer VARCHAR(40) NOT NULL DEFAULT '',
  chf_bdr_id INT NOT NULL DEFAULT 0,
  chf_naam VARCHAR(40) NOT NULL DEFAULT '',
  chf_voornaam VARCHAR(40) NOT NULL DEFAULT '',
  chf_tussenvoegsel VARCHAR(10) NOT NULL DEFAULT ''
)
GO

CREATE TABLE constanten (
  con_id INT IDENTITY(1,1) PRIMARY KEY,
  con_bdr_id INT NOT NULL DEFAULT 0,
  con_contant INT NOT NULL DEFAULT 0,
  con_tarief INT NOT NULL DEFAULT 0,
  con_land VARCHAR(3) NOT NULL DEFAULT '',
  con_standaard_uren INT NOT NULL DEFAULT 0
)
GO

CREATE TABLE reizigers (
  rei_id INT IDENTITY(1,1) PRIMARY KEY,
  rei_naam VARCHAR(50) NOT NULL DEFAULT ''
)
GO

CREATE TABLE VervoersVormenPerDebiteur (
  vpd_id INT IDENTITY(1,1) PRIMARY KEY,
  vpd_vor_id VARCHAR(1) NOT NULL DEFAULT '',
  vpd_rei_id INT NOT NULL DEFAULT 0,
  vpd_pasnummer VARCHAR(40) NOT NULL DEFAULT ''
)
GO

CREATE TABLE ritstaten (
  lsn_id INT IDENTITY(1,1) PRIMARY KEY,
  lsn_bdr_id INT NOT NULL DEFAULT 0,
  lsn_wag_id INT NOT NULL DEFAULT 0,
  lsn_chf_id INT NOT NULL DEFAULT 0,
  lsn_status INT NOT NULL DEFAULT 0,
  lsn_actie VARCHAR(1) NOT NULL DEFAULT '',
  lsn_aanvang DATETIME,
  lsn_einde DATETIME,
  lsn_omschrijving VARCHAR(20) NOT NULL DEFAULT '',
  lsn_kilometerstand_aanvang DECIMAL(18,2) NOT NULL DEFAULT 0,
  lsn_kilometerstand_einde DECIMAL(18,2) NOT NULL DEFAULT 0,
  lsn_rit INT NOT NULL DEFAULT 0,
  lsn_route INT NOT NULL DEFAULT 0,
  lsn_taxizone INT NOT NULL DEFAULT 0,
  lsn_taxizone_tijd DATETIME
)
GO

CREATE TABLE planning (
  pla_id INT IDENTITY(1,1) PRIMARY KEY,
  pla_tijdstip DATETIME,
  pla_datum DATETIME,
  pla_datumtijd AS CAST(CAST(pla_datum AS date) AS datetime) + CAST(CAST(pla_tijdstip AS time) AS datetime),
  pla_bdr_id INT NOT NULL DEFAULT 0,
  pla_wagen INT NOT NULL DEFAULT 0,
  pla_chauffeur INT NOT NULL DEFAULT 0,
  pla_lsn INT NOT NULL DEFAULT 0,
  pla_status VARCHAR(1) NOT NULL DEFAULT '',
  pla_spoed INT NOT NULL DEFAULT 0,
  pla_eigenaar VARCHAR(3) NOT NULL DEFAULT '',
  pla_extern INT NOT NULL DEFAULT 0,
  pla_reiziger INT NOT NULL DEFAULT 0,
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
  pla_zone_van INT NOT NULL DEFAULT 0,
  pla_zone_naar INT NOT NULL DEFAULT 0,
  pla_opmerking VARCHAR(50) NOT NULL DEFAULT '',
  pla_tekst NVARCHAR(MAX),
  pla_rolstoel INT NOT NULL DEFAULT 0,
  pla_lopers INT NOT NULL DEFAULT 0,
  pla_rollers INT NOT NULL DEFAULT 0,
  pla_voorin INT NOT NULL DEFAULT 0,
  pla_begeleiding INT NOT NULL DEFAULT 0,
  pla_route INT NOT NULL DEFAULT 0,
  pla_rc INT NOT NULL DEFAULT 0,
  pla_soortvervoer VARCHAR(1) NOT NULL DEFAULT '',
  pla_filter VARCHAR(1) NOT NULL DEFAULT '',
  pla_soortwagen VARCHAR(1) NOT NULL DEFAULT '',
  pla_soortrit VARCHAR(1) NOT NULL DEFAULT '',
  pla_combineren INT NOT NULL DEFAULT 0,
  pla_tarief_bedrijf INT NOT NULL DEFAULT 0,
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
  pla_wachtseconden INT NOT NULL DEFAULT 0,
  pla_retour_rbs INT NOT NULL DEFAULT 0
)
GO

CREATE TABLE berichtenbox (
  bbo_id INT IDENTITY(1,1) PRIMARY KEY,
  bbo_soort INT NOT NULL DEFAULT 0,
  bbo_bdr_id INT NOT NULL DEFAULT 0,
  bbo_wag_id INT NOT NULL DEFAULT 0,
  bbo_code VARCHAR(20) NOT NULL DEFAULT '',
  bbo_datum DATETIME DEFAULT getdate(),
  bbo_verwerkt INT NOT NULL DEFAULT 0,
  bbo_pakket NVARCHAR(MAX),
  bbo_pla_id INT NOT NULL DEFAULT 0,
  bbo_actie INT NOT NULL DEFAULT 0
)
GO

CREATE TABLE Statusmeldingen (
  mel_id INT IDENTITY(1,1) PRIMARY KEY,
  mel_datum DATETIME DEFAULT getdate(),
  mel_status INT NOT NULL DEFAULT 0,
  mel_ritnummer INT NOT NULL DEFAULT 0,
  mel_wagen INT NOT NULL DEFAULT 0,
  mel_chauffeur INT NOT NULL DEFAULT 0,
  mel_opmerking VARCHAR(100) NOT NULL DEFAULT ''
)
GO

CREATE TABLE GPS (
  GPS_id INT IDENTITY(1,1) PRIMARY KEY,
  GPS_Datum DATETIME,
  GPS_Datum_UTC DATETIME,
  GPS_IP VARCHAR(20) NOT NULL DEFAULT '',
  GPS_Imei VARCHAR(100) NOT NULL DEFAULT '',
  GPS_Statuscode VARCHAR(20) NOT NULL DEFAULT '',
  GPS_Latitude DECIMAL(18,4) NOT NULL DEFAULT 0,
  GPS_Longitude DECIMAL(18,4) NOT NULL DEFAULT 0,
  GOS_bdr_id INT NOT NULL DEFAULT 0
)
GO

CREATE TABLE TRANSACTIES (
  tra_id INT IDENTITY(1,1) PRIMARY KEY,
  tra_datum DATETIME DEFAULT getdate(),
  tra_gebruiker INT NOT NULL DEFAULT 0,
  tra_ritstaat INT NOT NULL DEFAULT 0,
  tra_rit INT NOT NULL DEFAULT 0,
  tra_wagen INT NOT NULL DEFAULT 0,
  tra_chauffeur INT NOT NULL DEFAULT 0,
  tra_code INT NOT NULL DEFAULT 0,
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

-- The route check belongs to the dispatch system; here it does nothing.
CREATE PROCEDURE PROC_ROUTESTATUS_CONTROLE @wagen INT
AS
BEGIN
  SET NOCOUNT ON;
END
GO
