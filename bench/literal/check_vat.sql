-- The VAT register totals check as its own text reads, for company 1 and calendar year 2024,
-- the stored totals included (the bench's ledger): the statements in the order the check sends
-- them, translated to PostgreSQL syntax only. A T-SQL batch with variables and IF is a DO block
-- with the same variables and IF; #temp tables are temporary tables, ISNULL is COALESCE, TOP 1
-- is LIMIT 1, NCHAR is CHAR and BIT a whole number, WITH (NOLOCK) and COLLATE DATABASE_DEFAULT
-- are dropped. No index, no ANALYZE and no session setting is added.

-- The company, as the company object reads it, and the new name of the result table (here a
-- fixed name: the check names its table after a new GUID on every call).
SELECT * FROM CG18_DITTE WHERE CG18_DITTA = 1;

SELECT NEWID() AS ID;

-- The result table: emptied when the connection has it, created otherwise.
DO $$
BEGIN
    IF to_regclass('pg_temp.PROGIVA_LITERAL') IS NOT NULL THEN
        TRUNCATE TABLE PROGIVA_LITERAL;
    ELSE
        CREATE TEMP TABLE PROGIVA_LITERAL
        (
            ANNO DECIMAL(4,0) NULL,
            TIPOREGISTRO DECIMAL(2,0) NULL,
            SEZIONALE CHAR(2) NULL,
            CODICEIVA CHAR(4) NULL,
            TIPOIVA DECIMAL(2,0) NULL,
            MESE DECIMAL(2,0) NULL,
            IMPONIBILEPROGR DECIMAL(17,2) NULL,
            IMPOSTAPROGR DECIMAL(17,2) NULL,
            IMPOSTANDPROGR DECIMAL(17,2) NULL,
            IMPONIBILEMOV DECIMAL(17,2) NULL,
            IMPOSTAMOV DECIMAL(17,2) NULL,
            IMPOSTANDMOV DECIMAL(17,2) NULL,
            TIPORECORD CHAR(3) NULL
        );
    END IF;
END
$$;

-- The batch: its variables, the month window of the summary section, and the one INSERT.
DO $$
DECLARE
    v_Ditta DECIMAL(5,0);
    v_DataInizio TIMESTAMP;
    v_DataFine TIMESTAMP;
    v_Anno DECIMAL(4,0);
    v_FlagGestSezIVA INTEGER;
    v_DataAttivazioneSezionali TIMESTAMP;
    v_MeseAttivazioneSezionali DECIMAL(2,0);
    v_DataUltimaStampaRiepilogativo TIMESTAMP;
    v_MeseUltimaStampaRiepilogativo DECIMAL(2,0);
BEGIN
    v_Ditta := 1;
    v_DataInizio := '20240101';
    v_DataFine := '20241231';
    v_Anno := 2024;
    v_FlagGestSezIVA := 0;
    v_DataAttivazioneSezionali := Null;
    v_DataUltimaStampaRiepilogativo := Null;
    -- Determino il mese di attivazione dei sezionali IVA
    IF v_FlagGestSezIVA = 1 THEN
        v_MeseAttivazioneSezionali := MONTH(v_DataAttivazioneSezionali);
        IF YEAR(v_DataAttivazioneSezionali) < v_Anno THEN
            v_MeseAttivazioneSezionali := 0;
        ELSIF YEAR(v_DataAttivazioneSezionali) > v_Anno THEN
            v_MeseAttivazioneSezionali := 13;
        END IF;
    ELSE
        v_MeseAttivazioneSezionali := 0;
    END IF;
    -- Determino il mese dell'ultima stampa definitiva del registro riepilogativo
    IF v_FlagGestSezIVA = 1 THEN
        IF v_DataUltimaStampaRiepilogativo IS NOT NULL THEN
            v_MeseUltimaStampaRiepilogativo := MONTH(v_DataUltimaStampaRiepilogativo);
            IF YEAR(v_DataUltimaStampaRiepilogativo) < v_Anno THEN
                v_MeseUltimaStampaRiepilogativo := 0;
            ELSIF YEAR(v_DataUltimaStampaRiepilogativo) > v_Anno THEN
                v_MeseUltimaStampaRiepilogativo := 13;
            END IF;
        ELSE
            v_MeseUltimaStampaRiepilogativo := 0;
        END IF;
    ELSE
        v_MeseUltimaStampaRiepilogativo := 13;
    END IF;
-- Definizione CTE
    WITH CTE_PROGIVA AS (
         SELECT *,
                CASE WHEN CG33_FLGFATTDIFF = 0 THEN MONTH(CG41_DATAREGIVA) ELSE MONTH(CG41_DATAREG) END AS Mese,
                CASE WHEN COALESCE(NUM_CODIVA_ESIG_IMM,0) > 0 THEN 0
                     WHEN COALESCE(NUM_CODIVA_ESIG_DIFF_EP,0) > 0 THEN 1
                     WHEN COALESCE(NUM_CODIVA_ESIG_DIFF_AL,0) > 0 THEN 2
                     WHEN COALESCE(NUM_CODIVA_ESIG_DIFF_EP_SP,0) > 0 THEN 3
                     ELSE 0 END AS TipoEsigibilita,
                COALESCE((SELECT 1 FROM CGE0_DOCEDITORIA WHERE CGE0_DITTA_CG18 = v_Ditta AND CGE0_NUMREG_CG41 = CG41_NUMREG LIMIT 1), 0) AS FatturaEditoria,
                CASE WHEN COALESCE(CG41_FLGDELETE,0) = 0 THEN 1 ELSE 0 END AS IsTestataAutofattura,
                CASE WHEN COALESCE(CG41_FLGDELETE,0) = 0
                     THEN CASE WHEN LTRIM(RTRIM(COALESCE(CG41_RIFPADRE, ''))) <> ''
                               THEN CASE WHEN COALESCE((SELECT LTRIM(RTRIM(COALESCE(CG33_CAUSALEIVA, CG33_CODICE))) FROM VCG41_PRIMANOTA CG41 INNER JOIN CG33_TABCAU ON CG33_CODICE = CG41.CG41_CODICE_CG33 WHERE CG41.CG41_DITTA_CG18 = v_Ditta AND CG41.CG41_NUMREG = T.CG41_RIFPADRE), '') IN ('51','52') THEN 1 ELSE 0 END
                               ELSE 0 END
                     ELSE CASE WHEN CausaleIvaRiferimento IN ('51','52') THEN 1 ELSE 0 END
                END AS IsCausaleIntra,
                CASE WHEN COALESCE(CG41_FLGDELETE,0) = 0 AND LTRIM(RTRIM(COALESCE(CG41_RIFPADRE, ''))) <> ''
                     THEN CASE WHEN COALESCE((SELECT LTRIM(RTRIM(COALESCE(CG33_CAUSALEIVA, CG33_CODICE))) FROM VCG41_PRIMANOTA CG41 INNER JOIN CG33_TABCAU ON CG33_CODICE = CG41.CG41_CODICE_CG33 WHERE CG41.CG41_DITTA_CG18 = v_Ditta AND CG41.CG41_NUMREG = T.CG41_RIFPADRE), '') IN ('41','42','91','92','96','97','93','94') THEN 1 ELSE 0 END
                     ELSE 0
                END AS IsCausaleRSM,
                CASE WHEN (SELECT CG86_INDVENT
                             FROM CG32_ANADITTAPSEZ
                             LEFT OUTER JOIN CG86_AZIENDECOLL
                               ON CG86_IDATTIVITA = COALESCE(CG32_IDATTIVITA_CG86,
                                    (SELECT A.CG86_IDATTIVITA FROM CG86_AZIENDECOLL A WHERE A.CG86_DITTACOLL_CG18 = CG41_DITTA_CG18 AND A.CG86_ANNOIVA = YEAR(COALESCE(CG41_DATAREGIVA, CG41_DATAREG)) AND A.CG86_INDTIPO = 0 ORDER BY A.CG86_IDATTIVITA LIMIT 1))
                            WHERE CG32_DITTA_CG18 = CG41_DITTA_CG18
                              AND CG32_ANNO = YEAR(COALESCE(CG41_DATAREGIVA, CG41_DATAREG))
                              AND CG32_SEZIONALE = CG41_SEZIONALE) = 1
                      AND COALESCE(CG28_ALIQIVAVENT,0) <> 0
                     THEN 1 ELSE 0 END AS IndicatoreVentilazione
           FROM (
                 SELECT CG41_DITTA_CG18, CG41_DATAREGIVA, CG41_NUMREG, CG41_DATAREG, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,
                        CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP,
                        SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN COALESCE(CG43_IMPONIBILE,0) ELSE -COALESCE(CG43_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
                        SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN COALESCE(CG43_IMPOSTA,0) ELSE -COALESCE(CG43_IMPOSTA,0) END) AS TOTALEIMPOSTA,
                        SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN COALESCE(CG43_IMPOSTAND,0) ELSE -COALESCE(CG43_IMPOSTAND,0) END) AS TOTALEIMPOSTAND,
                        CASE WHEN LTRIM(RTRIM(COALESCE(CG33_CAUSALEIVA, CG33_CODICE))) = '62' AND LTRIM(RTRIM(COALESCE(CG41_RIFPADRE, ''))) = '' THEN 1 ELSE 0 END AS IsCausaleAutofattura,
                        CG41_INDTIPOREG AS IndicatoreTipoRegistro,
                        CG41_SEZIONALE AS Sezionale,
                        CG43_ALIQIVA1_CG28 AS CodiceIVA,
                        CG43_CAUSALEIVA AS TipoIVA,
                        CASE WHEN COALESCE(CG28_FLGSOSPIMP,0) = 0 THEN 0 ELSE 1 END AS FatturaInSospensione,
                        CG33_FLGSUBFORNI AS FlagSubFornitura,
                        CG33_FLGFATTDIFF AS FlagCausaleDifferita,
                        SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 1 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_EP,
                        SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 2 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_AL,
                        SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 3 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_EP_SP,
                        SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 0 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_IMM,
                        LTRIM(RTRIM(COALESCE(CG33_CAUSALEIVA, CG33_CODICE))) AS CausaleIvaRiferimento,
                        CG43_INDTIPO AS IndiTipoCG43,
                        'MOV' AS TipoRecord,
                        v_Anno AS Anno
                   FROM CG43_MOVIVA
                  INNER JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41
                  INNER JOIN CG33_TABCAU ON CG41_CODICE_CG33 = CG33_CODICE
                  INNER JOIN CG28_TABCODIVA ON CG43_ALIQIVA1_CG28 = CG28_CODICE
                  WHERE CG41_DITTA_CG18 = v_Ditta
                    AND ((CG41_DATAREGIVA BETWEEN v_DataInizio AND v_DataFine AND CG33_FLGFATTDIFF = 0)
                      OR (CG41_DATAREG BETWEEN v_DataInizio AND v_DataFine AND CG33_FLGFATTDIFF = 1))
                    AND CG41_INDTIPOMOV = 0
                    AND CG41_INDPROVREG = 0
                  GROUP BY CG41_DITTA_CG18, CG41_NUMREG, CG41_DATAREG, CG41_DATAREGIVA, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,
                           CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP, CG33_CAUSALEIVA, CG33_CODICE, CG43_INDTIPO
                ) T
     ) -- CTE_PROGIVA
     , CTE_PAGSOSP AS (
         SELECT 'MOV' AS TipoRecord,
                v_Anno AS Anno,
                MONTH(PNPAGINC.CG41_DATAREG) AS Mese,
                PNPAGINC.CG41_INDTIPOREG,
                PNPAGINC.CG41_SEZIONALE,
                CG48_CODICE_CG28 AS CodiceIVA,
                CG48_CAUSALEIVA AS TipoIVA,
                CG49_NUMREG_CG41,
                SUM(CASE WHEN PNDOCSOSP.CG41_FLGSEGNOIVA = 0 THEN COALESCE(CG50_IMPONIBILE,0) ELSE -COALESCE(CG50_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
                SUM(CASE WHEN PNDOCSOSP.CG41_FLGSEGNOIVA = 0 THEN COALESCE(CG50_IMPOSTA,0) ELSE -COALESCE(CG50_IMPOSTA,0) END) AS TOTALEIMPOSTA,
                COALESCE(CG28_FLGSOSPIMP,0) AS TipoEsigibilita,
                PNDOCSOSP.CG41_INDTIPOREG AS IndicatoreTipoRegistro,
                PNDOCSOSP.CG41_SEZIONALE AS Sezionale
           FROM CG50_MOVPAGSOSP
          INNER JOIN CG49_PAGSOSP ON CG49_DITTA_CG18 = CG50_DITTA_CG18 AND CG49_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG49_NUMPAG = CG50_NUMPAG_CG49
          INNER JOIN CG41_PRIMANOTA PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CG49_REGPN_CG41
          INNER JOIN CG48_MOVSOSP ON CG48_DITTA_CG18 = CG50_DITTA_CG18 AND CG48_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG48_PROGRIGA = CG50_PROGRIGA_CG48
          INNER JOIN CG41_PRIMANOTA PNDOCSOSP ON PNDOCSOSP.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNDOCSOSP.CG41_NUMREG = CG49_NUMREG_CG41
          INNER JOIN CG28_TABCODIVA ON CG28_CODICE = CG50_CODICE_CG28
          WHERE PNPAGINC.CG41_DITTA_CG18 = v_Ditta
            AND PNPAGINC.CG41_DATAREG BETWEEN v_DataInizio AND v_DataFine
            AND PNPAGINC.CG41_INDTIPOMOV = 0
            AND PNPAGINC.CG41_INDPROVREG = 0
          GROUP BY PNPAGINC.CG41_DATAREG, PNPAGINC.CG41_INDTIPOREG, PNPAGINC.CG41_SEZIONALE, CG48_CODICE_CG28, CG48_CAUSALEIVA, CG49_NUMREG_CG41, CG28_FLGSOSPIMP, PNDOCSOSP.CG41_INDTIPOREG, PNDOCSOSP.CG41_SEZIONALE
     ) -- CTE_PAGSOSP
     , CTE_PAGEDIT AS (
         SELECT 'MOV' AS TipoRecord,
                v_Anno AS Anno,
                MONTH(PNPAGINC.CG41_DATAREG) AS Mese,
                PNPAGINC.CG41_INDTIPOREG,
                PNPAGINC.CG41_SEZIONALE,
                CGE1_CODICE_CG28 AS CodiceIVA,
                CGE1_CAUSALEIVA AS TipoIVA,
                CGE2_NUMREG_CG41,
                SUM(CASE WHEN PNDOCORIG.CG41_FLGSEGNOIVA = 0 THEN COALESCE(CGE3_IMPONIBILE,0) ELSE -COALESCE(CGE3_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
                SUM(CASE WHEN PNDOCORIG.CG41_FLGSEGNOIVA = 0 THEN COALESCE(CGE3_IMPOSTA,0) ELSE -COALESCE(CGE3_IMPOSTA,0) END) AS TOTALEIMPOSTA,
                PNDOCORIG.CG41_INDTIPOREG AS IndicatoreTipoRegistro,
                PNDOCORIG.CG41_SEZIONALE AS Sezionale
           FROM CGE3_MOVPAGEDITORIA
          INNER JOIN CGE2_PAGEDITORIA ON CGE2_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE2_NUMREG_CG41 = CGE3_NUMREG_CG41
          INNER JOIN CG41_PRIMANOTA PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CGE2_REGPN_CG41
          INNER JOIN CGE1_MOVEDITORIA ON CGE1_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE1_NUMREG_CG41 = CGE3_NUMREG_CG41 AND CGE1_PROGRIGA = CGE3_PROGRIGA_CGE1
          INNER JOIN CG41_PRIMANOTA PNDOCORIG ON PNDOCORIG.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNDOCORIG.CG41_NUMREG = CGE2_NUMREG_CG41
          WHERE PNPAGINC.CG41_DITTA_CG18 = v_Ditta
            AND PNPAGINC.CG41_DATAREG BETWEEN v_DataInizio AND v_DataFine
            AND PNPAGINC.CG41_INDTIPOMOV = 0
            AND PNPAGINC.CG41_INDPROVREG = 0
          GROUP BY PNPAGINC.CG41_DATAREG, PNPAGINC.CG41_INDTIPOREG, PNPAGINC.CG41_SEZIONALE, CGE1_CODICE_CG28, CGE1_CAUSALEIVA, CGE2_NUMREG_CG41, PNDOCORIG.CG41_INDTIPOREG, PNDOCORIG.CG41_SEZIONALE
     ) -- CTE_PAGEDIT
     , CTE_CG59 AS (
         SELECT CG59_DITTA_CG18,
                CG59_ANNO AS Anno,
                CG59_MESE AS Mese,
                CG59_INDTIPO AS IndicatoreTipoRegistro,
                CG59_SEZIONALE AS Sezionale,
                CG59_ALIQIVA_CG28 AS CodiceIVA,
                CG59_INDCAUSIVA AS TipoIVA,
                CG59_IMPONIBILE AS TOTALEIMPONIBILE,
                CG59_IMPOSTA AS TOTALEIMPOSTA,
                CG59_IMPOSTAND AS TOTALEIMPOSTAND
           FROM CG59_PROGIVAM
          WHERE CG59_DITTA_CG18 = v_Ditta
            AND CG59_ANNO = v_Anno
     ) -- CTE_CG59
     INSERT INTO PROGIVA_LITERAL
            (ANNO, TIPOREGISTRO, SEZIONALE, CODICEIVA, TIPOIVA, MESE, IMPONIBILEPROGR, IMPOSTAPROGR, IMPOSTANDPROGR, IMPONIBILEMOV, IMPOSTAMOV, IMPOSTANDMOV, TIPORECORD)
     SELECT DATI.Anno AS ANNO,
            DATI.IndicatoreTipoRegistro AS TIPOREGISTRO,
            DATI.Sezionale AS SEZIONALE,
            DATI.CodiceIVA AS CODICEIVA,
            DATI.TipoIVA AS TIPOIVA,
            DATI.Mese AS MESE,
            DATI.IMPONIBILEPROGR AS IMPONIBILEPROGR,
            DATI.IMPOSTAPROGR AS IMPOSTAPROGR,
            DATI.IMPOSTANDPROGR AS IMPOSTANDPROGR,
            DATI.IMPONIBILEMOV AS IMPONIBILEMOV,
            DATI.IMPOSTAMOV AS IMPOSTAMOV,
            DATI.IMPOSTANDMOV AS IMPOSTANDMOV,
            DATI.TipoRecord AS TIPORECORD
     FROM (
         -- Acquisti / Vendite / Corrispettivi
         SELECT Anno, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, IndicatoreTipoRegistro, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- MonteVentilazioneAcquisti
         SELECT Anno, 4, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IndicatoreVentilazione = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 4, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IndicatoreVentilazione = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- AcquistiIntra
         SELECT Anno, 12, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IsCausaleIntra = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 12, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IsCausaleIntra = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- SospesaAcquisti / SospesaAcquisti_AltreSocieta
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 6 WHEN TipoEsigibilita = 2 THEN 90 ELSE 6 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND FatturaInSospensione = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 6 WHEN TipoEsigibilita = 2 THEN 90 ELSE 6 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND FatturaInSospensione = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- SospesaVendite / SospesaVendite_AltreSocieta / SospesaVendite_SplitPayment
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 7 WHEN TipoEsigibilita = 2 THEN 91 ELSE 88 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FatturaInSospensione = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 7 WHEN TipoEsigibilita = 2 THEN 91 ELSE 88 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FatturaInSospensione = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- SospesaCorrispettivi / SospesaCorrispettivi_AltreSocieta
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 8 WHEN TipoEsigibilita = 2 THEN 92 ELSE 8 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND FatturaInSospensione = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 8 WHEN TipoEsigibilita = 2 THEN 92 ELSE 8 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND FatturaInSospensione = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- AutofatturaIntra
         SELECT Anno, 13, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsTestataAutofattura = 1 AND IsCausaleIntra = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 13, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsTestataAutofattura = 1 AND IsCausaleIntra = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- AutofatturaRSM
         SELECT Anno, 14, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsTestataAutofattura = 1 AND IsCausaleRSM = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 14, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsTestataAutofattura = 1 AND IsCausaleRSM = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- VenditeConSubfornitura
         SELECT Anno, 18, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FlagSubFornitura = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 18, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FlagSubFornitura = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- AcquistiAssociazioniSportiveDilettantistiche
         SELECT Anno, 22, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IndiTipoCG43 = 22
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 22, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND IndiTipoCG43 = 22 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- VenditeAssociazioniSportiveDilettantistiche
         SELECT Anno, 35, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND IndiTipoCG43 = 35
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 35, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND IndiTipoCG43 = 35 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- CorrispettiviAssociazioniSportiveDilettantistiche
         SELECT Anno, 35, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND IndiTipoCG43 = 35
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 35, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND IndiTipoCG43 = 35 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- AcquistiCompetenzaMesePrecedente
         SELECT Anno, 15, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND FlagCausaleDifferita = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 15, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 1 AND FlagCausaleDifferita = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- VenditeCompetenzaMesePrecedente
         SELECT Anno, 16, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FlagCausaleDifferita = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 16, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 2 AND FlagCausaleDifferita = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- AutofattureRSM
         SELECT Anno, 14, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsCausaleAutofattura = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 14, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IsCausaleAutofattura = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- Editoria
         SELECT Anno, 19, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND FatturaEditoria = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 19, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PROGIVA
          WHERE IndicatoreTipoRegistro = 3 AND FatturaEditoria = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         -- ExSospesaAcquisti / ExSospesaAcquisti_AltreSocieta
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 9 WHEN TipoEsigibilita = 2 THEN 93 ELSE 9 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 1
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 9 WHEN TipoEsigibilita = 2 THEN 93 ELSE 9 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 1 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- ExSospesaVendite / ExSospesaVendite_AltreSocieta / ExSospesaVendite_SplitPayment
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 10 WHEN TipoEsigibilita = 2 THEN 94 ELSE 89 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 2
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 10 WHEN TipoEsigibilita = 2 THEN 94 ELSE 89 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 2 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- ExSospesaCorrispettivi / ExSospesaCorrispettivi_AltreSocieta
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 11 WHEN TipoEsigibilita = 2 THEN 95 ELSE 11 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 3
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 11 WHEN TipoEsigibilita = 2 THEN 95 ELSE 11 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGSOSP
          WHERE IndicatoreTipoRegistro = 3 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
         UNION ALL
         -- ExEditoria
         SELECT Anno, 20, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGEDIT
          WHERE IndicatoreTipoRegistro = 3
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, 20, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
                0 AS IMPOSTANDMOV,
                0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
           FROM CTE_PAGEDIT
          WHERE IndicatoreTipoRegistro = 3 AND Mese BETWEEN v_MeseAttivazioneSezionali AND v_MeseUltimaStampaRiepilogativo
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
         UNION ALL
         SELECT Anno, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, Mese, 'PGR' AS TipoRecord,
                0 AS IMPONIBILEMOV, 0 AS IMPOSTAMOV, 0 AS IMPOSTANDMOV,
                SUM(COALESCE(TOTALEIMPONIBILE,0)) AS IMPONIBILEPROGR,
                SUM(COALESCE(TOTALEIMPOSTA,0)) AS IMPOSTAPROGR,
                SUM(COALESCE(TOTALEIMPOSTAND,0)) AS IMPOSTANDPROGR
           FROM CTE_CG59
          GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA
     ) DATI
     ORDER BY Anno, IndicatoreTipoRegistro, Mese, Sezionale, CodiceIVA, TipoIVA, TipoRecord;
END
$$;

SELECT * FROM PROGIVA_LITERAL ORDER BY ANNO, TIPOREGISTRO, MESE, SEZIONALE, CODICEIVA, TIPOIVA, TIPORECORD;
