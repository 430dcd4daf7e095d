-- The suite's tables and views that the price-rule component reads and writes, for SQL Server
-- (2012 or later). Run with sqlcmd or any tool that understands GO batch separators:
--   sqlcmd -S host -d tamsel -i schema/mssql/suite.sql
--
-- The script may run again on a database that has some or all of its objects: a table or index
-- is created only where it is missing (an existing one is left as it is, columns included), and
-- each view is dropped and created anew, so a view changed here reaches the database; rights
-- granted on a view must then be granted again. Every object is named in dbo, whatever the
-- login's default schema, because the component's statements name them without a schema and
-- find them in dbo. Each guarded statement is a batch of its own.
--
-- What the component relies on here:
--   * a case-insensitive database collation (..._CI_AS): codes are compared as the suite's
--     users type them; '=' ignores trailing blanks on SQL Server anyway;
--   * texts are nvarchar, and the component writes N'...' literals, so any script survives;
--   * dates are the date type, which reads 'yyyy-MM-dd' the same under every DATEFORMAT and
--     language (datetime would not);
--   * "ufts" is a rowversion: the server changes it on every update of the row, no trigger
--     needed. The views deliver it as money text, convert(varchar(30), convert(money, ufts), 2),
--     exactly the conversion that the save statement applies to the table's column, so an
--     unchanged row matches and a changed one does not;
--   * row counts: the save trusts the count of its one UPDATE. The driver switches NOCOUNT off
--     for its session and refuses a statement that reports more than one count. A trigger that
--     a site adds to any of these tables must therefore begin with SET NOCOUNT ON, or every
--     write to that table fails with a clear error instead of being miscounted.

-- Master data ------------------------------------------------------------------------------

IF OBJECT_ID(N'dbo.Vendor', N'U') IS NULL
CREATE TABLE dbo.Vendor (
  iid int NOT NULL,
  cVenCode nvarchar(20) NOT NULL,
  cVenName nvarchar(98) NULL,
  cVenAbbName nvarchar(60) NULL,
  dEndDate date NULL,
  bVenTax bit NULL,
  bVenCargo bit NOT NULL DEFAULT 0,
  bVenService bit NOT NULL DEFAULT 0,
  bProxyForeign bit NOT NULL DEFAULT 0,
  bVenOverseas bit NOT NULL DEFAULT 0,
  CONSTRAINT PK_Vendor PRIMARY KEY (cVenCode)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.Vendor') AND name = N'Vendor_iid')
CREATE UNIQUE INDEX Vendor_iid ON dbo.Vendor (iid);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.Vendor') AND name = N'Vendor_cVenAbbName')
CREATE INDEX Vendor_cVenAbbName ON dbo.Vendor (cVenAbbName);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.Vendor') AND name = N'Vendor_cVenName')
CREATE INDEX Vendor_cVenName ON dbo.Vendor (cVenName);
GO

IF OBJECT_ID(N'dbo.ComputationUnit', N'U') IS NULL
CREATE TABLE dbo.ComputationUnit (
  cComUnitCode nvarchar(35) NOT NULL,
  cComUnitName nvarchar(60) NULL,
  CONSTRAINT PK_ComputationUnit PRIMARY KEY (cComUnitCode)
);
GO

IF OBJECT_ID(N'dbo.Inventory', N'U') IS NULL
CREATE TABLE dbo.Inventory (
  cInvCode nvarchar(60) NOT NULL,
  cInvName nvarchar(255) NULL,
  cInvAddCode nvarchar(255) NULL,
  cInvStd nvarchar(255) NULL,
  iImpTaxRate float NULL,  -- percent
  cComUnitCode nvarchar(35) NULL,
  bPurchase bit NOT NULL DEFAULT 0,
  bService bit NOT NULL DEFAULT 0,
  bProxyForeign bit NOT NULL DEFAULT 0,
  CONSTRAINT PK_Inventory PRIMARY KEY (cInvCode)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.Inventory') AND name = N'Inventory_cInvName')
CREATE INDEX Inventory_cInvName ON dbo.Inventory (cInvName);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.Inventory') AND name = N'Inventory_cInvAddCode')
CREATE INDEX Inventory_cInvAddCode ON dbo.Inventory (cInvAddCode);
GO

-- Which free items of an item take part in pricing: bPurPriceFree* for supply type 1,
-- bOMPriceFree* for the others.
IF OBJECT_ID(N'dbo.Inventory_sub', N'U') IS NULL
CREATE TABLE dbo.Inventory_sub (
  cInvSubCode nvarchar(60) NOT NULL,
  bPurPriceFree1 bit NOT NULL DEFAULT 0, bPurPriceFree2 bit NOT NULL DEFAULT 0,
  bPurPriceFree3 bit NOT NULL DEFAULT 0, bPurPriceFree4 bit NOT NULL DEFAULT 0,
  bPurPriceFree5 bit NOT NULL DEFAULT 0, bPurPriceFree6 bit NOT NULL DEFAULT 0,
  bPurPriceFree7 bit NOT NULL DEFAULT 0, bPurPriceFree8 bit NOT NULL DEFAULT 0,
  bPurPriceFree9 bit NOT NULL DEFAULT 0, bPurPriceFree10 bit NOT NULL DEFAULT 0,
  bOMPriceFree1 bit NOT NULL DEFAULT 0, bOMPriceFree2 bit NOT NULL DEFAULT 0,
  bOMPriceFree3 bit NOT NULL DEFAULT 0, bOMPriceFree4 bit NOT NULL DEFAULT 0,
  bOMPriceFree5 bit NOT NULL DEFAULT 0, bOMPriceFree6 bit NOT NULL DEFAULT 0,
  bOMPriceFree7 bit NOT NULL DEFAULT 0, bOMPriceFree8 bit NOT NULL DEFAULT 0,
  bOMPriceFree9 bit NOT NULL DEFAULT 0, bOMPriceFree10 bit NOT NULL DEFAULT 0,
  CONSTRAINT PK_Inventory_sub PRIMARY KEY (cInvSubCode)
);
GO

IF OBJECT_ID(N'dbo.ForeignCurrency', N'U') IS NULL
CREATE TABLE dbo.ForeignCurrency (
  cExch_Name nvarchar(60) NOT NULL,
  cExch_Code nvarchar(8) NULL,
  iOtherUsed int NOT NULL DEFAULT 0,  -- -1 marks the local currency
  bCal bit NULL,                      -- 1: local = price * rate; 0: local = price / rate
  CONSTRAINT PK_ForeignCurrency PRIMARY KEY (cExch_Name)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.ForeignCurrency')
                 AND name = N'ForeignCurrency_cExch_Code')
CREATE INDEX ForeignCurrency_cExch_Code ON dbo.ForeignCurrency (cExch_Code);
GO

-- Exchange rates: itype 1 daily (cdate 'yyyy.mm.dd'), itype 2 monthly (iyear, and the month
-- number as text in cdate).
IF OBJECT_ID(N'dbo.exch', N'U') IS NULL
CREATE TABLE dbo.exch (
  cexch_name nvarchar(60) NOT NULL,
  itype int NOT NULL,
  iyear int NULL,
  cdate nvarchar(10) NOT NULL,
  nflat float NULL
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.exch') AND name = N'exch_rate')
CREATE UNIQUE INDEX exch_rate ON dbo.exch (cexch_name, itype, cdate, iyear);
GO

IF OBJECT_ID(N'dbo.ex_incoterms', N'U') IS NULL
CREATE TABLE dbo.ex_incoterms (
  cIncotermCode nvarchar(20) NOT NULL,
  cIncotermsRemark nvarchar(255) NULL,
  CONSTRAINT PK_ex_incoterms PRIMARY KEY (cIncotermCode)
);
GO
IF OBJECT_ID(N'dbo.v_ex_incoterms', N'V') IS NOT NULL DROP VIEW dbo.v_ex_incoterms;
GO
CREATE VIEW dbo.v_ex_incoterms AS
SELECT cIncotermCode, cIncotermsRemark FROM dbo.ex_incoterms;
GO

-- Price rules ------------------------------------------------------------------------------

IF OBJECT_ID(N'dbo.ven_inv_price_rule', N'U') IS NULL
CREATE TABLE dbo.ven_inv_price_rule (
  id int IDENTITY(1, 1) NOT NULL,
  cVenCode nvarchar(20) NULL,
  cInvCode nvarchar(60) NOT NULL,
  iSupplyType int NOT NULL,
  dEnableDate date NOT NULL,
  dDisableDate date NULL,
  bPromotion bit NULL,
  cExch_Name nvarchar(60) NULL,
  cMemo nvarchar(255) NULL,
  bTaxCost bit NULL,
  cTermCode nvarchar(20) NULL,
  ufts rowversion NOT NULL,
  CONSTRAINT PK_ven_inv_price_rule PRIMARY KEY (id)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.ven_inv_price_rule')
                 AND name = N'ven_inv_price_rule_lookup')
CREATE INDEX ven_inv_price_rule_lookup
  ON dbo.ven_inv_price_rule (cInvCode, iSupplyType, cVenCode, dEnableDate);
GO

-- Not unique on (id, itemid): stored data may hold duplicate tier numbers, and loading such a
-- rule must be able to report them.
IF OBJECT_ID(N'dbo.ven_inv_price_ruleitem', N'U') IS NULL
CREATE TABLE dbo.ven_inv_price_ruleitem (
  id int NOT NULL,
  itemid int NOT NULL,
  iLowerLimit float NULL,
  iUpperLimit float NULL,
  iUnitPrice float NULL,
  iTaxRate float NULL,
  iTaxUnitPrice float NULL
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.ven_inv_price_ruleitem')
                 AND name = N'ven_inv_price_ruleitem_id')
CREATE CLUSTERED INDEX ven_inv_price_ruleitem_id ON dbo.ven_inv_price_ruleitem (id, itemid);
GO

-- Supplier price list: one row per price, each with its own quantity tier.
IF OBJECT_ID(N'dbo.ven_inv_price', N'U') IS NULL
CREATE TABLE dbo.ven_inv_price (
  autoid int IDENTITY(1, 1) NOT NULL,
  cVenCode nvarchar(20) NULL,
  cInvCode nvarchar(60) NOT NULL,
  iSupplyType int NOT NULL,
  dEnableDate date NOT NULL,
  dDisableDate date NULL,
  bPromotion bit NULL,
  cExch_Name nvarchar(60) NULL,
  cMemo nvarchar(255) NULL,
  bTaxCost bit NULL,
  cTermCode nvarchar(20) NULL,
  iLowerLimit float NOT NULL DEFAULT 0,
  iUpperLimit float NULL,
  iUnitPrice float NULL,
  iTaxRate float NULL,
  iTaxUnitPrice float NULL,
  cFree1 nvarchar(120) NULL, cFree2 nvarchar(120) NULL, cFree3 nvarchar(120) NULL,
  cFree4 nvarchar(120) NULL, cFree5 nvarchar(120) NULL, cFree6 nvarchar(120) NULL,
  cFree7 nvarchar(120) NULL, cFree8 nvarchar(120) NULL, cFree9 nvarchar(120) NULL,
  cFree10 nvarchar(120) NULL,
  ufts rowversion NOT NULL,
  CONSTRAINT PK_ven_inv_price PRIMARY KEY (autoid)
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.ven_inv_price') AND name = N'ven_inv_price_lookup')
CREATE INDEX ven_inv_price_lookup
  ON dbo.ven_inv_price (cInvCode, iSupplyType, cVenCode, dEnableDate);
GO

-- Views ------------------------------------------------------------------------------------

-- Rules with the names of vendor, item, unit and trade term; ufts as money text.
IF OBJECT_ID(N'dbo.pu_VenInvPriceRule', N'V') IS NOT NULL DROP VIEW dbo.pu_VenInvPriceRule;
GO
CREATE VIEW dbo.pu_VenInvPriceRule AS
SELECT
  r.id, r.cVenCode, v.cVenName, v.cVenAbbName, r.cInvCode, i.cInvName, i.cInvAddCode,
  i.cInvStd, i.iImpTaxRate AS iInvTaxRate, i.cComUnitCode, u.cComUnitName, r.iSupplyType,
  r.dEnableDate, r.dDisableDate, r.bPromotion, r.cExch_Name, r.bTaxCost, r.cMemo, r.cTermCode,
  t.cIncotermsRemark AS cTermName,
  convert(varchar(30), convert(money, r.ufts), 2) AS ufts
FROM dbo.ven_inv_price_rule r
LEFT JOIN dbo.Vendor v ON v.cVenCode = r.cVenCode
LEFT JOIN dbo.Inventory i ON i.cInvCode = r.cInvCode
LEFT JOIN dbo.ComputationUnit u ON u.cComUnitCode = i.cComUnitCode
LEFT JOIN dbo.v_ex_incoterms t ON t.cIncotermCode = r.cTermCode;
GO

-- The price list with the names of vendor, item, unit and trade term.
IF OBJECT_ID(N'dbo.pu_veninvpricelist', N'V') IS NOT NULL DROP VIEW dbo.pu_veninvpricelist;
GO
CREATE VIEW dbo.pu_veninvpricelist AS
SELECT
  p.autoid, p.cVenCode, v.cVenName, v.cVenAbbName, p.cInvCode, i.cInvName, i.cInvAddCode,
  i.cInvStd, i.cComUnitCode, u.cComUnitName, p.iSupplyType, p.dEnableDate, p.dDisableDate,
  p.bPromotion, p.cExch_Name, p.bTaxCost, p.cMemo, p.cTermCode,
  t.cIncotermsRemark AS cTermName,
  p.iLowerLimit, p.iUpperLimit, p.iUnitPrice, p.iTaxRate, p.iTaxUnitPrice,
  p.cFree1, p.cFree2, p.cFree3, p.cFree4, p.cFree5, p.cFree6, p.cFree7, p.cFree8, p.cFree9,
  p.cFree10,
  convert(varchar(30), convert(money, p.ufts), 2) AS ufts
FROM dbo.ven_inv_price p
LEFT JOIN dbo.Vendor v ON v.cVenCode = p.cVenCode
LEFT JOIN dbo.Inventory i ON i.cInvCode = p.cInvCode
LEFT JOIN dbo.ComputationUnit u ON u.cComUnitCode = i.cComUnitCode
LEFT JOIN dbo.v_ex_incoterms t ON t.cIncotermCode = p.cTermCode;
GO

-- Stand-in row authorisation (only where the suite's own service is not used) --------------

-- cKind 'Vendor' or 'Inventory'; cCode a code or '*' for every row of the kind; cRight holds
-- the letters of the rights granted ('R' read, 'W' write).
IF OBJECT_ID(N'dbo.tamsel_row_auth', N'U') IS NULL
CREATE TABLE dbo.tamsel_row_auth (
  cUser nvarchar(60) NOT NULL,
  cKind nvarchar(20) NOT NULL,
  cCode nvarchar(60) NOT NULL,
  cRight nvarchar(10) NOT NULL DEFAULT N'RW'
);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.tamsel_row_auth')
                 AND name = N'tamsel_row_auth_user')
CREATE INDEX tamsel_row_auth_user ON dbo.tamsel_row_auth (cUser, cKind, cCode);
GO
