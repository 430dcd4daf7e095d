-- The demo data set of schema/sqlite/demo.sql for SQL Server: the same rows, in T-SQL. Validity
-- dates span 2025 to 2027 and exchange rates cover every day and month of 2026 and 2027, so the
-- look-ups give sensible answers on any business date in those two years; 2026-12-06 is the
-- date the demo uses.
--
-- One INSERT per batch: the ODBC driver switches NOCOUNT off and refuses a batch that reports
-- more than one row count. Run with sqlcmd, or through InstallDemoData.
--
-- The script may run again: each table gets its demo rows only while it is empty (the rates,
-- daily and monthly apart), so a second run adds nothing and a table that already holds a
-- site's own rows is left alone.

-- Units and trade terms ----------------------------------------------------------------------

IF NOT EXISTS (SELECT 1 FROM dbo.ComputationUnit)
INSERT INTO dbo.ComputationUnit (cComUnitCode, cComUnitName) VALUES
  ('PCS', 'Piece'),
  ('KG', 'Kilogram'),
  ('M', 'Metre'),
  ('BOX', 'Box'),
  ('SET', 'Set');
GO

IF NOT EXISTS (SELECT 1 FROM dbo.ex_incoterms)
INSERT INTO dbo.ex_incoterms (cIncotermCode, cIncotermsRemark) VALUES
  ('EXW', 'Ex works'),
  ('FOB', 'Free on board'),
  ('CIF', 'Cost, insurance and freight'),
  ('DDP', 'Delivered duty paid');
GO

-- Vendors ----------------------------------------------------------------------------------

-- V005 stopped trading mid-2026; V003, V004 and V008 are overseas; V006 sells services only;
-- V007 has a quote in its names and no tax flag.
IF NOT EXISTS (SELECT 1 FROM dbo.Vendor)
INSERT INTO dbo.Vendor (iid, cVenCode, cVenName, cVenAbbName, dEndDate, bVenTax, bVenCargo,
                        bVenService, bProxyForeign, bVenOverseas) VALUES
  (1, 'V001', 'Shanghai Precision Parts Co., Ltd.', 'SH Precision', NULL, 1, 1, 0, 0, 0),
  (2, 'V002', 'Ningbo Fastener Works', 'Ningbo Fastener', NULL, 1, 1, 0, 1, 0),
  (3, 'V003', 'Rhein Maschinenbau GmbH', 'Rhein', NULL, 0, 1, 0, 0, 1),
  (4, 'V004', 'Pacific Components Inc.', 'Pacific', NULL, 0, 1, 0, 1, 1),
  (5, 'V005', 'Old Mill Supplies', 'Old Mill', '2026-06-30', 1, 1, 0, 0, 0),
  (6, 'V006', 'Swift Maintenance Services', 'Swift Services', NULL, 1, 0, 1, 0, 0),
  (7, 'V007', 'O''Brien Tooling Ltd.', 'O''Brien', NULL, NULL, 1, 0, 0, 0),
  (8, 'V008', N'大阪電子株式会社', 'Osaka Denshi', NULL, 0, 1, 0, 0, 1);
GO

-- Items ------------------------------------------------------------------------------------

IF NOT EXISTS (SELECT 1 FROM dbo.Inventory)
INSERT INTO dbo.Inventory (cInvCode, cInvName, cInvAddCode, cInvStd, iImpTaxRate, cComUnitCode,
                           bPurchase, bService, bProxyForeign) VALUES
  ('A01', 'Hex bolt M8x40', 'HB-M8-40', 'M8x40 grade 8.8', 13, 'PCS', 1, 0, 0),
  ('A02', 'Hex nut M8', 'HN-M8', 'M8 grade 8', 13, 'PCS', 1, 0, 1),
  ('B01', 'Steel plate 3 mm', 'SP-3', '3x1250x2500', 13, 'KG', 1, 0, 0),
  ('B02', 'Copper wire 2.5', 'CW-25', '2.5 mm2', 13, 'M', 1, 0, 1),
  ('C01', 'Ball bearing 6204', 'BR-6204', '6204-2RS', 13, 'PCS', 1, 0, 1),
  ('D01', 'Machine maintenance', 'SV-MAINT', '', 6, 'SET', 0, 1, 0),
  ('E01', 'Industrial paint', 'PT-IND', '20 l', 13, 'BOX', 1, 0, 0),
  ('F01', N'六角扳手套装', 'HK-SET', '9 pcs', 13, 'SET', 1, 0, 0);
GO

-- Free item 1 of E01 is the colour (priced for purchase and outsourcing); free item 2 of C01
-- is the precision grade (priced for purchase only).
IF NOT EXISTS (SELECT 1 FROM dbo.Inventory_sub)
INSERT INTO dbo.Inventory_sub (cInvSubCode, bPurPriceFree1, bPurPriceFree2, bOMPriceFree1)
VALUES
  ('A01', 0, 0, 0),
  ('A02', 0, 0, 0),
  ('B01', 0, 0, 0),
  ('B02', 0, 0, 0),
  ('C01', 0, 1, 0),
  ('D01', 0, 0, 0),
  ('E01', 1, 0, 1),
  ('F01', 0, 0, 0);
GO

-- Currencies and rates -----------------------------------------------------------------------

-- Names are what rules and prices carry; codes are accepted in their place. HKD is quoted the
-- other way round (HKD per CNY), hence bCal 0: local amount = price / rate.
IF NOT EXISTS (SELECT 1 FROM dbo.ForeignCurrency)
INSERT INTO dbo.ForeignCurrency (cExch_Name, cExch_Code, iOtherUsed, bCal) VALUES
  ('CNY', '156', -1, 1),
  ('USD', '840', 0, 1),
  ('EUR', '978', 0, 1),
  ('JPY', '392', 0, 1),
  ('HKD', '344', 0, 0);
GO

-- Daily rates for every day of 2026 and 2027, wobbling a little around a base rate: the same
-- values as the SQLite script, whose wobble index is the day's Julian day number, truncated
-- (1900-01-01 is 2415020). Float throughout, as SQLite computes in doubles.
WITH digits(n) AS (
  SELECT n FROM (VALUES (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)) AS t(n)
),
days(d) AS (
  SELECT dateadd(day, a.n + 10 * b.n + 100 * c.n, CAST('2026-01-01' AS date))
  FROM digits a CROSS JOIN digits b CROSS JOIN digits c
  WHERE a.n + 10 * b.n + 100 * c.n < 730
),
base(name, rate) AS (
  SELECT name, rate FROM (VALUES ('USD', 7.1E0), ('EUR', 7.7E0), ('JPY', 0.048E0),
                                 ('HKD', 1.09E0)) AS t(name, rate)
)
INSERT INTO dbo.exch (cexch_name, itype, iyear, cdate, nflat)
SELECT name, 1, year(d), convert(char(10), d, 102),
       round(rate * (1 + ((datediff(day, '19000101', d) + 2415020) % 21 - 10) / 1000.0E0), 6)
FROM days CROSS JOIN base
WHERE NOT EXISTS (SELECT 1 FROM dbo.exch WHERE itype = 1);
GO

-- Monthly rates of 2025 to 2027; the month is written without a leading zero.
WITH months(y, m) AS (
  SELECT 2025 + j, k
  FROM (VALUES (1), (2), (3), (4), (5), (6), (7), (8), (9), (10), (11), (12)) AS a(k)
  CROSS JOIN (VALUES (0), (1), (2)) AS b(j)
),
base(name, rate) AS (
  SELECT name, rate FROM (VALUES ('USD', 7.12E0), ('EUR', 7.72E0), ('JPY', 0.0482E0),
                                 ('HKD', 1.088E0)) AS t(name, rate)
)
INSERT INTO dbo.exch (cexch_name, itype, iyear, cdate, nflat)
SELECT name, 2, y, CAST(m AS nvarchar(2)), round(rate * (1 + ((y * 12 + m) % 7 - 3) / 500.0E0), 6)
FROM months CROSS JOIN base
WHERE NOT EXISTS (SELECT 1 FROM dbo.exch WHERE itype = 2);
GO

-- Supplier price list ----------------------------------------------------------------------

-- Columns: vendor, item, supply type, enable, disable, promotion, currency, memo, tax cost,
-- trade term, lower limit, upper limit, unit price, tax rate, unit price with tax, free 1, 2.
IF NOT EXISTS (SELECT 1 FROM dbo.ven_inv_price)
INSERT INTO dbo.ven_inv_price (cVenCode, cInvCode, iSupplyType, dEnableDate, dDisableDate,
                               bPromotion, cExch_Name, cMemo, bTaxCost, cTermCode, iLowerLimit,
                               iUpperLimit, iUnitPrice, iTaxRate, iTaxUnitPrice, cFree1, cFree2)
VALUES
  -- A01: three tiers at V001, a cheaper year-end promotion, V002's old and new prices, a
  -- euro price from overseas, an ended vendor and two prices open to every vendor
  ('V001', 'A01', 1, '2026-01-01', NULL, 0, 'CNY', 'List 2026', 1, '', 0, 1000, 0.85, 13, 0.9605, NULL, NULL),
  ('V001', 'A01', 1, '2026-01-01', NULL, 0, 'CNY', 'List 2026', 1, '', 1000, 5000, 0.80, 13, 0.904, NULL, NULL),
  ('V001', 'A01', 1, '2026-01-01', NULL, 0, 'CNY', 'List 2026', 1, '', 5000, NULL, 0.75, 13, 0.8475, NULL, NULL),
  ('V001', 'A01', 1, '2026-11-01', '2027-01-01', 1, 'CNY', 'Year-end offer', 1, '', 0, NULL, 0.79, 13, 0.8927, NULL, NULL),
  ('V002', 'A01', 1, '2025-07-01', NULL, 0, 'CNY', 'List 2025', 1, '', 0, NULL, 0.78, 13, 0.8814, NULL, NULL),
  ('V002', 'A01', 1, '2026-07-01', NULL, 0, 'CNY', 'List 2026-07', 1, '', 0, 2000, 0.83, 13, 0.9379, NULL, NULL),
  ('V002', 'A01', 1, '2026-07-01', NULL, 0, 'CNY', 'List 2026-07', 1, '', 2000, NULL, 0.81, 13, 0.9153, NULL, NULL),
  ('V003', 'A01', 1, '2026-01-01', '2027-12-31', 0, 'EUR', '', 0, '', 0, NULL, 0.11, 13, 0.1243, NULL, NULL),
  ('V005', 'A01', 1, '2025-01-01', NULL, 0, 'CNY', 'Clearance', 1, '', 0, NULL, 0.50, 13, 0.565, NULL, NULL),
  ('', 'A01', 1, '2025-01-01', NULL, 0, 'CNY', 'Any vendor', 1, '', 0, NULL, 0.95, 13, 1.0735, NULL, NULL),
  (NULL, 'A01', 1, '2025-01-01', NULL, 1, 'CNY', 'Any vendor, promotion', 1, '', 0, NULL, 0.90, 13, 1.017, NULL, NULL),
  -- A02: a local price, a quote-named vendor, dollars and Hong Kong dollars
  ('V002', 'A02', 1, '2025-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 0.30, 13, 0.339, NULL, NULL),
  ('V007', 'A02', 1, '2026-03-01', NULL, 0, 'CNY', 'O''Brien list', 1, '', 0, NULL, 0.29, 13, 0.3277, NULL, NULL),
  ('V004', 'A02', 1, '2026-01-01', NULL, 0, 'USD', '', 0, '', 0, NULL, 0.04, 13, 0.0452, NULL, NULL),
  ('V004', 'A02', 1, '2026-06-01', NULL, 0, 'HKD', 'HK office', 0, '', 10000, NULL, 0.31, 13, 0.3503, NULL, NULL),
  ('V002', 'A02', 2, '2025-01-01', NULL, 0, 'CNY', 'Outsourcing', 1, '', 0, NULL, 0.27, 13, 0.3051, NULL, NULL),
  -- B01: per kilogram, two tiers; an import price on FOB terms
  ('V001', 'B01', 1, '2026-01-01', '2028-01-01', 0, 'CNY', '', 1, '', 0, 1000, 6.20, 13, 7.006, NULL, NULL),
  ('V001', 'B01', 1, '2026-01-01', '2028-01-01', 0, 'CNY', '', 1, '', 1000, NULL, 5.90, 13, 6.667, NULL, NULL),
  ('V004', 'B01', 1, '2026-01-01', NULL, 0, 'USD', '', 0, '', 0, NULL, 0.85, 13, 0.9605, NULL, NULL),
  ('V003', 'B01', 4, '2026-01-01', '2027-12-31', 0, 'EUR', 'Import', 0, 'FOB', 0, NULL, 0.70, 13, 0.791, NULL, NULL),
  ('V003', 'B01', 4, '2026-01-01', '2027-12-31', 0, 'EUR', 'Import', 0, 'CIF', 0, NULL, 0.76, 13, 0.8588, NULL, NULL),
  -- B02
  ('V002', 'B02', 1, '2025-09-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 3.40, 13, 3.842, NULL, NULL),
  ('V002', 'B02', 2, '2025-09-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 3.10, 13, 3.503, NULL, NULL),
  -- C01: prices per precision grade (free item 2)
  ('V001', 'C01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 18.00, 13, 20.34, NULL, 'P0'),
  ('V001', 'C01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 21.50, 13, 24.295, NULL, 'P6'),
  ('V008', 'C01', 1, '2026-02-01', NULL, 0, 'JPY', '', 0, '', 0, NULL, 360, 13, 406.8, NULL, 'P0'),
  ('V008', 'C01', 1, '2026-02-01', NULL, 0, 'JPY', '', 0, '', 0, NULL, 430, 13, 485.9, NULL, 'P6'),
  ('V004', 'C01', 4, '2026-01-01', NULL, 0, 'USD', 'Import', 0, 'CIF', 0, NULL, 2.60, 13, 2.938, NULL, 'P0'),
  -- D01: a service
  ('V006', 'D01', 1, '2025-01-01', NULL, 0, 'CNY', 'Per visit', 1, '', 0, NULL, 800, 6, 848, NULL, NULL),
  -- E01: prices per colour (free item 1)
  ('V001', 'E01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 320, 13, 361.6, 'RAL 9010', NULL),
  ('V001', 'E01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 335, 13, 378.55, 'RAL 5015', NULL),
  ('V007', 'E01', 1, '2026-04-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 310, 13, 350.3, 'RAL 9010', NULL),
  ('V002', 'E01', 2, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, NULL, 300, 13, 339, 'RAL 9010', NULL),
  -- F01
  ('V001', 'F01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 0, 50, 45, 13, 50.85, NULL, NULL),
  ('V001', 'F01', 1, '2026-01-01', NULL, 0, 'CNY', '', 1, '', 50, NULL, 42, 13, 47.46, NULL, NULL);
GO

-- Price rules ------------------------------------------------------------------------------

SET IDENTITY_INSERT dbo.ven_inv_price_rule ON;
IF NOT EXISTS (SELECT 1 FROM dbo.ven_inv_price_rule)
INSERT INTO dbo.ven_inv_price_rule (id, cVenCode, cInvCode, iSupplyType, dEnableDate, dDisableDate,
                                    bPromotion, cExch_Name, cMemo, bTaxCost, cTermCode) VALUES
  (1, 'V001', 'A01', 1, '2026-01-01', NULL, 0, 'CNY', 'Volume discount', 1, ''),
  (2, '', 'A01', 1, '2025-01-01', NULL, 0, 'CNY', 'Any vendor', 1, ''),
  (3, 'V001', 'A01', 1, '2026-11-01', '2027-01-01', 1, 'CNY', 'Year-end offer', 1, ''),
  (4, 'V003', 'B01', 4, '2026-01-01', '2027-12-31', 0, 'EUR', 'Import', 0, 'FOB'),
  (5, 'V002', 'A02', 2, '2025-01-01', NULL, 0, 'CNY', 'Outsourcing', 1, ''),
  (6, 'V008', 'C01', 1, '2026-02-01', '2027-02-01', 0, 'JPY', '', 0, '');
SET IDENTITY_INSERT dbo.ven_inv_price_rule OFF;
GO

IF NOT EXISTS (SELECT 1 FROM dbo.ven_inv_price_ruleitem)
INSERT INTO dbo.ven_inv_price_ruleitem (id, itemid, iLowerLimit, iUpperLimit, iUnitPrice, iTaxRate,
                                        iTaxUnitPrice) VALUES
  (1, 1, 0, 1000, 0.85, 13, 0.9605),
  (1, 2, 1000, 5000, 0.80, 13, 0.904),
  (1, 3, 5000, NULL, 0.75, 13, 0.8475),
  (2, 1, 0, NULL, 0.95, 13, 1.0735),
  (3, 1, 0, NULL, 0.79, 13, 0.8927),
  (4, 1, 0, 10000, 0.70, 13, 0.791),
  (4, 2, 10000, NULL, 0.66, 13, 0.7458),
  (5, 1, 0, NULL, 0.27, 13, 0.3051),
  (6, 1, 0, 100, 360, 13, 406.8),
  (6, 2, 100, NULL, 340, 13, 384.2);
GO

-- Row authorisation of the stand-in service: 'demo' sees and edits everything, 'buyer' only
-- local vendors and the fastener items, 'auditor' reads every vendor.
IF NOT EXISTS (SELECT 1 FROM dbo.tamsel_row_auth)
INSERT INTO dbo.tamsel_row_auth (cUser, cKind, cCode, cRight) VALUES
  ('demo', 'Vendor', '*', 'RW'),
  ('demo', 'Inventory', '*', 'RW'),
  ('buyer', 'Vendor', 'V001', 'RW'),
  ('buyer', 'Vendor', 'V002', 'RW'),
  ('buyer', 'Vendor', 'V007', 'R'),
  ('buyer', 'Inventory', 'A01', 'RW'),
  ('buyer', 'Inventory', 'A02', 'RW'),
  ('auditor', 'Vendor', '*', 'R');
GO
