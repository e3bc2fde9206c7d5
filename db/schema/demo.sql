-- A small dispatch site for the demo and the tests, in SQL that all three engines accept.
-- Load it after the schema of the engine. Statements are separated by GO lines.

INSERT INTO BEDRIJVEN (bdr_naam) VALUES ('Taxi Korvan')
GO
INSERT INTO constanten (con_bdr_id, con_contant, con_tarief, con_land, con_standaard_uren) VALUES (1, 1, 2, 'NL', 8)
GO
INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei, wag_kenteken, wag_type, wag_dat_id, wag_gps) VALUES (12, 1, '356000000000012', '12-ABC-3', 'T', 12, 1)
GO
INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei, wag_kenteken, wag_type, wag_dat_id, wag_gps) VALUES (15, 1, '356000000000015', '34-DEF-5', 'B', 12, 1)
GO
INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei, wag_kenteken, wag_type, wag_dat_id, wag_gps) VALUES (21, 1, '356000000000021', '56-GHI-7', 'T', 4, 0)
GO
INSERT INTO chauffeurs (chf_pasnummer, chf_bdr_id, chf_naam, chf_voornaam, chf_tussenvoegsel) VALUES ('1001', 1, 'Berg', 'Anna', 'van den')
GO
INSERT INTO chauffeurs (chf_pasnummer, chf_bdr_id, chf_naam, chf_voornaam, chf_tussenvoegsel) VALUES ('1002', 1, 'Jansen', 'Piet', '')
GO
INSERT INTO chauffeurs (chf_pasnummer, chf_bdr_id, chf_naam, chf_voornaam, chf_tussenvoegsel) VALUES ('1003', 1, 'Bakker', 'Sanne', '')
GO
INSERT INTO reizigers (rei_naam) VALUES ('Mevr. de Vries')
GO
INSERT INTO reizigers (rei_naam) VALUES ('Dhr. Visser')
GO
INSERT INTO VervoersVormenPerDebiteur (vpd_vor_id, vpd_rei_id, vpd_pasnummer) VALUES ('Z', 1, 'ZV-40112')
GO
-- An open shift for vehicle 12 with driver 1001, free.
INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_aanvang, lsn_omschrijving, lsn_kilometerstand_aanvang)
  VALUES (1, 1, 1, 0, 'B', '2026-12-08 07:00:00', 'Dienst Anna', 120345.50)
GO
-- Rides: a private fare, a care ride for a known passenger, an airport ride of the external order system.
INSERT INTO planning (pla_tijdstip, pla_datum, pla_bdr_id, pla_status, pla_eigenaar, pla_naam_reiziger, pla_ophstraat, pla_ophnummer, pla_ophpostcode, pla_ophstad, pla_besstraat, pla_bestnummer, pla_bestpostcode, pla_beststad, pla_soortvervoer, pla_bedrag, pla_zone_van, pla_zone_naar)
  VALUES ('2026-12-08 09:30:00', '2026-12-08 00:00:00', 1, 'P', '001', 'Jan Smit', 'Stationsplein', '1', '3511ED', 'Utrecht', 'Oudegracht', '210', '3511NR', 'Utrecht', 'P', 18.50, 10, 12)
GO
INSERT INTO planning (pla_tijdstip, pla_datum, pla_bdr_id, pla_status, pla_eigenaar, pla_reiziger, pla_naam_reiziger, pla_ophstraat, pla_ophnummer, pla_ophpostcode, pla_ophstad, pla_besstraat, pla_bestnummer, pla_bestpostcode, pla_beststad, pla_soortvervoer, pla_rolstoel, pla_bedrag, pla_zone_van, pla_zone_naar)
  VALUES ('2026-12-08 10:15:00', '2026-12-08 00:00:00', 1, 'P', '002', 1, 'Mevr. de Vries', 'Lange Nieuwstraat', '4', '3512PE', 'Utrecht', 'Heidelberglaan', '100', '3584CX', 'Utrecht', 'Z', 1, 0, 10, 14)
GO
INSERT INTO planning (pla_tijdstip, pla_datum, pla_bdr_id, pla_status, pla_eigenaar, pla_extern, pla_reiziger, pla_naam_reiziger, pla_ophstraat, pla_ophnummer, pla_ophpostcode, pla_ophstad, pla_besstraat, pla_bestnummer, pla_bestpostcode, pla_beststad, pla_soortvervoer, pla_bedrag, pla_zone_van, pla_zone_naar)
  VALUES ('2026-12-08 14:00:00', '2026-12-08 00:00:00', 1, 'P', '004', 70012345, 2, 'Dhr. Visser', 'Maliebaan', '50', '3581CS', 'Utrecht', 'Evert van de Beekstraat', '202', '1118CP', 'Schiphol', 'L', 65.00, 10, 99)
GO
-- A ride order for vehicle 12, waiting to be sent.
INSERT INTO berichtenbox (bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code, bbo_datum, bbo_verwerkt, bbo_pakket, bbo_pla_id, bbo_actie)
  VALUES (12, 1, 1, 'RIT', '2026-12-08 09:00:00', 0, '', 1, 1)
GO
