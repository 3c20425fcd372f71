-- Helper objects the statements call by name on the ledger database. On a real ledger they
-- belong to the ledger system; these development versions give the same columns and results.
SET ANSI_NULLS ON;
SET QUOTED_IDENTIFIER ON;
GO

-- The server's current date, without the time of day.
CREATE FUNCTION dbo.CRV_GETDATE() RETURNS DATETIME
AS
BEGIN
  RETURN CAST(CAST(GETDATE() AS DATE) AS DATETIME);
END;
GO

-- Account description of the chart of accounts of a group, as OUTER APPLY reads it. The company
-- and the four-character code are part of the call; this development database keeps one chart
-- per group. Inline, so that the optimizer folds it into the calling statement.
CREATE FUNCTION DBO.FNCG_CG24_CONTO (
  @GRUPPO DECIMAL(5, 0),
  @CONTO  VARCHAR(10),
  @DITTA  DECIMAL(5, 0),
  @CODICE CHAR(4)
)
RETURNS TABLE
AS
RETURN (
  SELECT CG24_DESCR
    FROM dbo.CG24_TABPDC
   WHERE CG24_GRUPPO_CG10 = @GRUPPO
     AND CG24_CONTO = @CONTO
);
GO
