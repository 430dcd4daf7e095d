-- The suite's tables and views that the price-rule component reads and writes, for the
-- embedded database.
--
-- Conventions:
--   * every text column uses the collation tamsel_text (letter case and trailing blanks
--     ignored), registered by the driver on each connection; an index serves a comparison only
--     under its column's collation, so the indexes below inherit it from the columns;
--   * dates are 'yyyy-MM-dd' texts, flags integers, quantities and prices REAL;
--   * "ufts" is a database-wide row version kept by triggers (see tamsel_rowversion); the
--     views deliver it as money text ('123.0000'), the form the save statement compares with.
--
-- Several statements of the component name columns without a table prefix across joins of the
-- price list with Vendor, Inventory, ComputationUnit, ForeignCurrency, exch and v_ex_incoterms.
-- So a column name of ven_inv_price (autoid, ufts, dDisableDate, cTermCode, iUnitPrice, cFree1,
-- ...) must not appear in those tables, and Vendor must not carry cInvCode, iLowerLimit,
-- iSupplyType, cExch_Name or dEnableDate.

-- Master data ------------------------------------------------------------------------------

CREATE TABLE Vendor (
  iid INTEGER NOT NULL,
  cVenCode TEXT COLLATE tamsel_text NOT NULL,
  cVenName TEXT COLLATE tamsel_text,
  cVenAbbName TEXT COLLATE tamsel_text,
  -- last day of business with the vendor; NULL or '' for none
  dEndDate TEXT COLLATE tamsel_text,
  bVenTax INTEGER,
  bVenCargo INTEGER NOT NULL DEFAULT 0,
  bVenService INTEGER NOT NULL DEFAULT 0,
  bProxyForeign INTEGER NOT NULL DEFAULT 0,
  bVenOverseas INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Vendor_cVenCode ON Vendor (cVenCode);
CREATE UNIQUE INDEX Vendor_iid ON Vendor (iid);
-- the vendor check also finds a vendor by short name or name
CREATE INDEX Vendor_cVenAbbName ON Vendor (cVenAbbName);
CREATE INDEX Vendor_cVenName ON Vendor (cVenName);

CREATE TABLE ComputationUnit (
  cComUnitCode TEXT COLLATE tamsel_text NOT NULL,
  cComUnitName TEXT COLLATE tamsel_text
);
CREATE UNIQUE INDEX ComputationUnit_cComUnitCode ON ComputationUnit (cComUnitCode);

CREATE TABLE Inventory (
  cInvCode TEXT COLLATE tamsel_text NOT NULL,
  cInvName TEXT COLLATE tamsel_text,
  cInvAddCode TEXT COLLATE tamsel_text,
  cInvStd TEXT COLLATE tamsel_text,
  -- tax rate in percent
  iImpTaxRate REAL,
  cComUnitCode TEXT COLLATE tamsel_text,
  bPurchase INTEGER NOT NULL DEFAULT 0,
  bService INTEGER NOT NULL DEFAULT 0,
  bProxyForeign INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Inventory_cInvCode ON Inventory (cInvCode);
-- the item check's statement also matches by name and additional code
CREATE INDEX Inventory_cInvName ON Inventory (cInvName);
CREATE INDEX Inventory_cInvAddCode ON Inventory (cInvAddCode);

-- Which free items of an item take part in pricing: bPurPriceFree* for supply type 1,
-- bOMPriceFree* for the others.
CREATE TABLE Inventory_sub (
  cInvSubCode TEXT COLLATE tamsel_text NOT NULL,
  bPurPriceFree1 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree2 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree3 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree4 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree5 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree6 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree7 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree8 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree9 INTEGER NOT NULL DEFAULT 0,
  bPurPriceFree10 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree1 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree2 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree3 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree4 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree5 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree6 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree7 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree8 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree9 INTEGER NOT NULL DEFAULT 0,
  bOMPriceFree10 INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Inventory_sub_cInvSubCode ON Inventory_sub (cInvSubCode);

CREATE TABLE ForeignCurrency (
  cExch_Name TEXT COLLATE tamsel_text NOT NULL,
  cExch_Code TEXT COLLATE tamsel_text,
  -- -1 marks the local currency
  iOtherUsed INTEGER NOT NULL DEFAULT 0,
  -- 1: local amount = price * rate; 0: local amount = price / rate
  bCal INTEGER
);
CREATE UNIQUE INDEX ForeignCurrency_cExch_Name ON ForeignCurrency (cExch_Name);
CREATE INDEX ForeignCurrency_cExch_Code ON ForeignCurrency (cExch_Code);

-- Exchange rates: itype 1 daily (cdate 'yyyy.mm.dd'), itype 2 monthly (iyear and the month
-- number as text in cdate, '1' to '12').
CREATE TABLE exch (
  cexch_name TEXT COLLATE tamsel_text NOT NULL,
  itype INTEGER NOT NULL,
  iyear INTEGER,
  cdate TEXT COLLATE tamsel_text NOT NULL,
  nflat REAL
);
-- unique: a second rate for one day or month would duplicate price rows in the comparison.
-- SQLite lets NULLs repeat in a unique index (the server does not), so a missing year counts
-- as '', which no year equals.
CREATE UNIQUE INDEX exch_rate ON exch (cexch_name, itype, cdate, ifnull(iyear, ''));

CREATE TABLE ex_incoterms (
  cIncotermCode TEXT COLLATE tamsel_text NOT NULL,
  cIncotermsRemark TEXT COLLATE tamsel_text
);
CREATE UNIQUE INDEX ex_incoterms_code ON ex_incoterms (cIncotermCode);

CREATE VIEW v_ex_incoterms AS
SELECT cIncotermCode AS cIncotermCode, cIncotermsRemark AS cIncotermsRemark
FROM ex_incoterms;

-- Row version ------------------------------------------------------------------------------

-- One database-wide counter, so that no committed row version repeats in any table. A
-- rolled-back change gives its version back; the manager then forgets it too.
CREATE TABLE tamsel_rowversion (
  id INTEGER PRIMARY KEY CHECK (id = 1),
  v INTEGER NOT NULL
);
INSERT INTO tamsel_rowversion (id, v) VALUES (1, 0);

-- Price rules --------------------------------------------------------------------------------

-- AUTOINCREMENT: a committed id is never handed out again, also after the highest rule was
-- removed. A rolled-back insert gives its id back; the manager then forgets it too.
CREATE TABLE ven_inv_price_rule (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  cVenCode TEXT COLLATE tamsel_text,
  cInvCode TEXT COLLATE tamsel_text NOT NULL,
  iSupplyType INTEGER NOT NULL,
  dEnableDate TEXT COLLATE tamsel_text NOT NULL,
  dDisableDate TEXT COLLATE tamsel_text,
  bPromotion INTEGER,
  cExch_Name TEXT COLLATE tamsel_text,
  cMemo TEXT COLLATE tamsel_text,
  bTaxCost INTEGER,
  cTermCode TEXT COLLATE tamsel_text,
  ufts INTEGER
);
-- rule look-up, duplicate and overlap tests: item, supply type, vendor, start
CREATE INDEX ven_inv_price_rule_lookup
  ON ven_inv_price_rule (cInvCode, iSupplyType, cVenCode, dEnableDate);

-- Not unique on (id, itemid): stored data may hold duplicate tier numbers, and loading such a
-- rule must be able to report them.
CREATE TABLE ven_inv_price_ruleitem (
  id INTEGER NOT NULL,
  itemid INTEGER NOT NULL,
  iLowerLimit REAL,
  iUpperLimit REAL,
  iUnitPrice REAL,
  iTaxRate REAL,
  iTaxUnitPrice REAL
);
CREATE INDEX ven_inv_price_ruleitem_id ON ven_inv_price_ruleitem (id, itemid);

-- Supplier price list: one row per price, each with its own quantity tier.
CREATE TABLE ven_inv_price (
  autoid INTEGER PRIMARY KEY AUTOINCREMENT,
  cVenCode TEXT COLLATE tamsel_text,
  cInvCode TEXT COLLATE tamsel_text NOT NULL,
  iSupplyType INTEGER NOT NULL,
  dEnableDate TEXT COLLATE tamsel_text NOT NULL,
  dDisableDate TEXT COLLATE tamsel_text,
  bPromotion INTEGER,
  cExch_Name TEXT COLLATE tamsel_text,
  cMemo TEXT COLLATE tamsel_text,
  bTaxCost INTEGER,
  cTermCode TEXT COLLATE tamsel_text,
  iLowerLimit REAL NOT NULL DEFAULT 0,
  iUpperLimit REAL,
  iUnitPrice REAL,
  iTaxRate REAL,
  iTaxUnitPrice REAL,
  cFree1 TEXT COLLATE tamsel_text,
  cFree2 TEXT COLLATE tamsel_text,
  cFree3 TEXT COLLATE tamsel_text,
  cFree4 TEXT COLLATE tamsel_text,
  cFree5 TEXT COLLATE tamsel_text,
  cFree6 TEXT COLLATE tamsel_text,
  cFree7 TEXT COLLATE tamsel_text,
  cFree8 TEXT COLLATE tamsel_text,
  cFree9 TEXT COLLATE tamsel_text,
  cFree10 TEXT COLLATE tamsel_text,
  ufts INTEGER
);
-- price look-up and comparison: equality on item and supply type, then vendor and start date
CREATE INDEX ven_inv_price_lookup
  ON ven_inv_price (cInvCode, iSupplyType, cVenCode, dEnableDate);

-- Row-version triggers. The update triggers list every column but ufts: their own write of
-- ufts then cannot fire them again, whatever recursive_triggers says, and a client that sets
-- ufts together with other columns still gets a fresh version. Trigger writes do not count in
-- the statement's changes(), so an update still reports the rows it hit.

CREATE TRIGGER ven_inv_price_rule_ufts_insert AFTER INSERT ON ven_inv_price_rule
BEGIN
  UPDATE tamsel_rowversion SET v = v + 1 WHERE id = 1;
  UPDATE ven_inv_price_rule SET ufts = (SELECT v FROM tamsel_rowversion WHERE id = 1)
  WHERE id = NEW.id;
END;

CREATE TRIGGER ven_inv_price_rule_ufts_update
AFTER UPDATE OF id, cVenCode, cInvCode, iSupplyType, dEnableDate, dDisableDate, bPromotion,
  cExch_Name, cMemo, bTaxCost, cTermCode ON ven_inv_price_rule
BEGIN
  UPDATE tamsel_rowversion SET v = v + 1 WHERE id = 1;
  UPDATE ven_inv_price_rule SET ufts = (SELECT v FROM tamsel_rowversion WHERE id = 1)
  WHERE id = NEW.id;
END;

CREATE TRIGGER ven_inv_price_ufts_insert AFTER INSERT ON ven_inv_price
BEGIN
  UPDATE tamsel_rowversion SET v = v + 1 WHERE id = 1;
  UPDATE ven_inv_price SET ufts = (SELECT v FROM tamsel_rowversion WHERE id = 1)
  WHERE autoid = NEW.autoid;
END;

CREATE TRIGGER ven_inv_price_ufts_update
AFTER UPDATE OF autoid, cVenCode, cInvCode, iSupplyType, dEnableDate, dDisableDate,
  bPromotion, cExch_Name, cMemo, bTaxCost, cTermCode, iLowerLimit, iUpperLimit, iUnitPrice,
  iTaxRate, iTaxUnitPrice, cFree1, cFree2, cFree3, cFree4, cFree5, cFree6, cFree7, cFree8,
  cFree9, cFree10 ON ven_inv_price
BEGIN
  UPDATE tamsel_rowversion SET v = v + 1 WHERE id = 1;
  UPDATE ven_inv_price SET ufts = (SELECT v FROM tamsel_rowversion WHERE id = 1)
  WHERE autoid = NEW.autoid;
END;

-- Views ------------------------------------------------------------------------------------

-- Rules with the names of vendor, item, unit and trade term.
CREATE VIEW pu_VenInvPriceRule AS
SELECT
  r.id AS id,
  r.cVenCode AS cVenCode,
  v.cVenName AS cVenName,
  v.cVenAbbName AS cVenAbbName,
  r.cInvCode AS cInvCode,
  i.cInvName AS cInvName,
  i.cInvAddCode AS cInvAddCode,
  i.cInvStd AS cInvStd,
  i.iImpTaxRate AS iInvTaxRate,
  i.cComUnitCode AS cComUnitCode,
  u.cComUnitName AS cComUnitName,
  r.iSupplyType AS iSupplyType,
  r.dEnableDate AS dEnableDate,
  r.dDisableDate AS dDisableDate,
  r.bPromotion AS bPromotion,
  r.cExch_Name AS cExch_Name,
  r.bTaxCost AS bTaxCost,
  r.cMemo AS cMemo,
  r.cTermCode AS cTermCode,
  t.cIncotermsRemark AS cTermName,
  printf('%.4f', r.ufts) AS ufts
FROM ven_inv_price_rule r
LEFT JOIN Vendor v ON v.cVenCode = r.cVenCode
LEFT JOIN Inventory i ON i.cInvCode = r.cInvCode
LEFT JOIN ComputationUnit u ON u.cComUnitCode = i.cComUnitCode
LEFT JOIN v_ex_incoterms t ON t.cIncotermCode = r.cTermCode;

-- The price list with the names of vendor, item, unit and trade term.
CREATE VIEW pu_veninvpricelist AS
SELECT
  p.autoid AS autoid,
  p.cVenCode AS cVenCode,
  v.cVenName AS cVenName,
  v.cVenAbbName AS cVenAbbName,
  p.cInvCode AS cInvCode,
  i.cInvName AS cInvName,
  i.cInvAddCode AS cInvAddCode,
  i.cInvStd AS cInvStd,
  i.cComUnitCode AS cComUnitCode,
  u.cComUnitName AS cComUnitName,
  p.iSupplyType AS iSupplyType,
  p.dEnableDate AS dEnableDate,
  p.dDisableDate AS dDisableDate,
  p.bPromotion AS bPromotion,
  p.cExch_Name AS cExch_Name,
  p.bTaxCost AS bTaxCost,
  p.cMemo AS cMemo,
  p.cTermCode AS cTermCode,
  t.cIncotermsRemark AS cTermName,
  p.iLowerLimit AS iLowerLimit,
  p.iUpperLimit AS iUpperLimit,
  p.iUnitPrice AS iUnitPrice,
  p.iTaxRate AS iTaxRate,
  p.iTaxUnitPrice AS iTaxUnitPrice,
  p.cFree1 AS cFree1,
  p.cFree2 AS cFree2,
  p.cFree3 AS cFree3,
  p.cFree4 AS cFree4,
  p.cFree5 AS cFree5,
  p.cFree6 AS cFree6,
  p.cFree7 AS cFree7,
  p.cFree8 AS cFree8,
  p.cFree9 AS cFree9,
  p.cFree10 AS cFree10,
  printf('%.4f', p.ufts) AS ufts
FROM ven_inv_price p
LEFT JOIN Vendor v ON v.cVenCode = p.cVenCode
LEFT JOIN Inventory i ON i.cInvCode = p.cInvCode
LEFT JOIN ComputationUnit u ON u.cComUnitCode = i.cComUnitCode
LEFT JOIN v_ex_incoterms t ON t.cIncotermCode = p.cTermCode;

-- Stand-in row authorisation ---------------------------------------------------------------

-- cKind 'Vendor' or 'Inventory'; cCode a code or '*' for every row of the kind; cRight holds
-- the letters of the rights granted ('R' read, 'W' write).
CREATE TABLE tamsel_row_auth (
  cUser TEXT COLLATE tamsel_text NOT NULL,
  cKind TEXT COLLATE tamsel_text NOT NULL,
  cCode TEXT COLLATE tamsel_text NOT NULL,
  cRight TEXT COLLATE tamsel_text NOT NULL DEFAULT 'RW'
);
CREATE INDEX tamsel_row_auth_user ON tamsel_row_auth (cUser, cKind, cCode);
