SELECT NEWID() AS ID
-- ---- next batch ----
 IF OBJECT_ID('TEMPDB..#PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9', N'U') IS NOT NULL
 BEGIN
     TRUNCATE TABLE #PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9
 END
 ELSE
 BEGIN
     CREATE TABLE #PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9
     (
         ANNO DECIMAL(4,0) NULL,
         TIPOREGISTRO DECIMAL(2,0) NULL,
         SEZIONALE NCHAR(2) COLLATE DATABASE_DEFAULT NULL,
         CODICEIVA NCHAR(4) COLLATE DATABASE_DEFAULT NULL,
         TIPOIVA DECIMAL(2,0) NULL,
         MESE DECIMAL(2,0) NULL,
         IMPONIBILEPROGR DECIMAL(17,2) NULL,
         IMPOSTAPROGR DECIMAL(17,2) NULL,
         IMPOSTANDPROGR DECIMAL(17,2) NULL,
         IMPONIBILEMOV DECIMAL(17,2) NULL,
         IMPOSTAMOV DECIMAL(17,2) NULL,
         IMPOSTANDMOV DECIMAL(17,2) NULL,
         TIPORECORD NCHAR(3) COLLATE DATABASE_DEFAULT NULL
     )
 END
-- ---- next batch ----

 DECLARE @Ditta DECIMAL(5,0)
 DECLARE @DataInizio DATETIME
 DECLARE @DataFine DATETIME
 DECLARE @Anno DECIMAL(4,0)
 DECLARE @FlagGestSezIVA BIT
 DECLARE @DataAttivazioneSezionali DATETIME
 DECLARE @MeseAttivazioneSezionali DECIMAL(2,0)
 DECLARE @DataUltimaStampaRiepilogativo DATETIME
 DECLARE @MeseUltimaStampaRiepilogativo DECIMAL(2,0)
 SET @Ditta = 3
 SET @DataInizio = '20240101'
 SET @DataFine = '20241231'
 SET @Anno = 2024
 SET @FlagGestSezIVA = 0
 SET @DataAttivazioneSezionali = Null
 SET @DataUltimaStampaRiepilogativo = Null
-- Determino il mese di attivazione dei sezionali IVA
 IF @FlagGestSezIVA = 1
 BEGIN
     SET @MeseAttivazioneSezionali = MONTH(@DataAttivazioneSezionali)
     IF YEAR(@DataAttivazioneSezionali) < @Anno
         SET @MeseAttivazioneSezionali = 0
     ELSE IF YEAR(@DataAttivazioneSezionali) > @Anno
         SET @MeseAttivazioneSezionali = 13
 END
 ELSE
     SET @MeseAttivazioneSezionali = 0
-- Determino il mese dell'ultima stampa definitiva del registro riepilogativo
 IF @FlagGestSezIVA = 1
 BEGIN
     IF @DataUltimaStampaRiepilogativo IS NOT NULL
     BEGIN
         SET @MeseUltimaStampaRiepilogativo = MONTH(@DataUltimaStampaRiepilogativo)
         IF YEAR(@DataUltimaStampaRiepilogativo) < @Anno
             SET @MeseUltimaStampaRiepilogativo = 0
         ELSE IF YEAR(@DataUltimaStampaRiepilogativo) > @Anno
             SET @MeseUltimaStampaRiepilogativo = 13
     END
     ELSE
         SET @MeseUltimaStampaRiepilogativo = 0
 END
 ELSE
     SET @MeseUltimaStampaRiepilogativo = 13
-- Definizione CTE
 ;WITH CTE_PROGIVA AS (
     SELECT *,
            CASE WHEN CG33_FLGFATTDIFF = 0 THEN MONTH(CG41_DATAREGIVA) ELSE MONTH(CG41_DATAREG) END AS Mese,
            CASE WHEN ISNULL(NUM_CODIVA_ESIG_IMM,0) > 0 THEN 0
                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_EP,0) > 0 THEN 1
                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_AL,0) > 0 THEN 2
                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_EP_SP,0) > 0 THEN 3
                 ELSE 0 END AS TipoEsigibilita,
            ISNULL((SELECT TOP 1 1 FROM CGE0_DOCEDITORIA WITH (NOLOCK) WHERE CGE0_DITTA_CG18 = @Ditta AND CGE0_NUMREG_CG41 = CG41_NUMREG), 0) AS FatturaEditoria,
            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0 THEN 1 ELSE 0 END AS IsTestataAutofattura,
            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0
                 THEN CASE WHEN LTRIM(RTRIM(ISNULL(CG41_RIFPADRE, ''))) <> ''
                           THEN CASE WHEN ISNULL((SELECT LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE))) FROM VCG41_PRIMANOTA CG41 INNER JOIN CG33_TABCAU WITH (NOLOCK) ON CG33_CODICE = CG41.CG41_CODICE_CG33 WHERE CG41.CG41_DITTA_CG18 = @Ditta AND CG41.CG41_NUMREG = T.CG41_RIFPADRE), '') IN ('51','52') THEN 1 ELSE 0 END
                           ELSE 0 END
                 ELSE CASE WHEN CausaleIvaRiferimento IN ('51','52') THEN 1 ELSE 0 END
            END AS IsCausaleIntra,
            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0 AND LTRIM(RTRIM(ISNULL(CG41_RIFPADRE, ''))) <> ''
                 THEN CASE WHEN ISNULL((SELECT LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE))) FROM VCG41_PRIMANOTA CG41 INNER JOIN CG33_TABCAU WITH (NOLOCK) ON CG33_CODICE = CG41.CG41_CODICE_CG33 WHERE CG41.CG41_DITTA_CG18 = @Ditta AND CG41.CG41_NUMREG = T.CG41_RIFPADRE), '') IN ('41','42','91','92','96','97','93','94') THEN 1 ELSE 0 END
                 ELSE 0
            END AS IsCausaleRSM,
            CASE WHEN (SELECT CG86_INDVENT
                         FROM CG32_ANADITTAPSEZ WITH (NOLOCK)
                         LEFT OUTER JOIN CG86_AZIENDECOLL WITH (NOLOCK)
                           ON CG86_IDATTIVITA = ISNULL(CG32_IDATTIVITA_CG86,
                                (SELECT TOP 1 A.CG86_IDATTIVITA FROM CG86_AZIENDECOLL A WITH (NOLOCK) WHERE A.CG86_DITTACOLL_CG18 = CG41_DITTA_CG18 AND A.CG86_ANNOIVA = YEAR(ISNULL(CG41_DATAREGIVA, CG41_DATAREG)) AND A.CG86_INDTIPO = 0 ORDER BY A.CG86_IDATTIVITA))
                        WHERE CG32_DITTA_CG18 = CG41_DITTA_CG18
                          AND CG32_ANNO = YEAR(ISNULL(CG41_DATAREGIVA, CG41_DATAREG))
                          AND CG32_SEZIONALE = CG41_SEZIONALE) = 1
                  AND ISNULL(CG28_ALIQIVAVENT,0) <> 0
                 THEN 1 ELSE 0 END AS IndicatoreVentilazione
       FROM (
             SELECT CG41_DITTA_CG18, CG41_DATAREGIVA, CG41_NUMREG, CG41_DATAREG, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,
                    CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP,
                    SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPONIBILE,0) ELSE -ISNULL(CG43_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
                    SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPOSTA,0) ELSE -ISNULL(CG43_IMPOSTA,0) END) AS TOTALEIMPOSTA,
                    SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPOSTAND,0) ELSE -ISNULL(CG43_IMPOSTAND,0) END) AS TOTALEIMPOSTAND,
                    CASE WHEN LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE))) = '62' AND LTRIM(RTRIM(ISNULL(CG41_RIFPADRE, ''))) = '' THEN 1 ELSE 0 END AS IsCausaleAutofattura,
                    CG41_INDTIPOREG AS IndicatoreTipoRegistro,
                    CG41_SEZIONALE AS Sezionale,
                    CG43_ALIQIVA1_CG28 AS CodiceIVA,
                    CG43_CAUSALEIVA AS TipoIVA,
                    CASE WHEN ISNULL(CG28_FLGSOSPIMP,0) = 0 THEN 0 ELSE 1 END AS FatturaInSospensione,
                    CG33_FLGSUBFORNI AS FlagSubFornitura,
                    CG33_FLGFATTDIFF AS FlagCausaleDifferita,
                    SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 1 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_EP,
                    SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 2 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_AL,
                    SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 3 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_DIFF_EP_SP,
                    SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = 0 THEN 1 ELSE 0 END) AS NUM_CODIVA_ESIG_IMM,
                    LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE))) AS CausaleIvaRiferimento,
                    CG43_INDTIPO AS IndiTipoCG43,
                    'MOV' AS TipoRecord,
                    @Anno AS Anno
               FROM CG43_MOVIVA
              INNER JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41
              INNER JOIN CG33_TABCAU WITH (NOLOCK) ON CG41_CODICE_CG33 = CG33_CODICE
              INNER JOIN CG28_TABCODIVA WITH (NOLOCK) ON CG43_ALIQIVA1_CG28 = CG28_CODICE
              WHERE CG41_DITTA_CG18 = @Ditta
                AND ((CG41_DATAREGIVA BETWEEN @DataInizio AND @DataFine AND CG33_FLGFATTDIFF = 0)
                  OR (CG41_DATAREG BETWEEN @DataInizio AND @DataFine AND CG33_FLGFATTDIFF = 1))
                AND CG41_INDTIPOMOV = 0
                AND CG41_INDPROVREG = 0
              GROUP BY CG41_DITTA_CG18, CG41_NUMREG, CG41_DATAREG, CG41_DATAREGIVA, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,
                       CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP, CG33_CAUSALEIVA, CG33_CODICE, CG43_INDTIPO
            ) T
 ) -- CTE_PROGIVA
 , CTE_PAGSOSP AS (
     SELECT 'MOV' AS TipoRecord,
            @Anno AS Anno,
            MONTH(PNPAGINC.CG41_DATAREG) AS Mese,
            PNPAGINC.CG41_INDTIPOREG,
            PNPAGINC.CG41_SEZIONALE,
            CG48_CODICE_CG28 AS CodiceIVA,
            CG48_CAUSALEIVA AS TipoIVA,
            CG49_NUMREG_CG41,
            SUM(CASE WHEN PNDOCSOSP.CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG50_IMPONIBILE,0) ELSE -ISNULL(CG50_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
            SUM(CASE WHEN PNDOCSOSP.CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG50_IMPOSTA,0) ELSE -ISNULL(CG50_IMPOSTA,0) END) AS TOTALEIMPOSTA,
            ISNULL(CG28_FLGSOSPIMP,0) AS TipoEsigibilita,
            PNDOCSOSP.CG41_INDTIPOREG AS IndicatoreTipoRegistro,
            PNDOCSOSP.CG41_SEZIONALE AS Sezionale
       FROM CG50_MOVPAGSOSP WITH (NOLOCK)
      INNER JOIN CG49_PAGSOSP WITH (NOLOCK) ON CG49_DITTA_CG18 = CG50_DITTA_CG18 AND CG49_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG49_NUMPAG = CG50_NUMPAG_CG49
      INNER JOIN CG41_PRIMANOTA PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CG49_REGPN_CG41
      INNER JOIN CG48_MOVSOSP WITH (NOLOCK) ON CG48_DITTA_CG18 = CG50_DITTA_CG18 AND CG48_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG48_PROGRIGA = CG50_PROGRIGA_CG48
      INNER JOIN CG41_PRIMANOTA PNDOCSOSP ON PNDOCSOSP.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNDOCSOSP.CG41_NUMREG = CG49_NUMREG_CG41
      INNER JOIN CG28_TABCODIVA WITH (NOLOCK) ON CG28_CODICE = CG50_CODICE_CG28
      WHERE PNPAGINC.CG41_DITTA_CG18 = @Ditta
        AND PNPAGINC.CG41_DATAREG BETWEEN @DataInizio AND @DataFine
        AND PNPAGINC.CG41_INDTIPOMOV = 0
        AND PNPAGINC.CG41_INDPROVREG = 0
      GROUP BY PNPAGINC.CG41_DATAREG, PNPAGINC.CG41_INDTIPOREG, PNPAGINC.CG41_SEZIONALE, CG48_CODICE_CG28, CG48_CAUSALEIVA, CG49_NUMREG_CG41, CG28_FLGSOSPIMP, PNDOCSOSP.CG41_INDTIPOREG, PNDOCSOSP.CG41_SEZIONALE
 ) -- CTE_PAGSOSP
 , CTE_PAGEDIT AS (
     SELECT 'MOV' AS TipoRecord,
            @Anno AS Anno,
            MONTH(PNPAGINC.CG41_DATAREG) AS Mese,
            PNPAGINC.CG41_INDTIPOREG,
            PNPAGINC.CG41_SEZIONALE,
            CGE1_CODICE_CG28 AS CodiceIVA,
            CGE1_CAUSALEIVA AS TipoIVA,
            CGE2_NUMREG_CG41,
            SUM(CASE WHEN PNDOCORIG.CG41_FLGSEGNOIVA = 0 THEN ISNULL(CGE3_IMPONIBILE,0) ELSE -ISNULL(CGE3_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,
            SUM(CASE WHEN PNDOCORIG.CG41_FLGSEGNOIVA = 0 THEN ISNULL(CGE3_IMPOSTA,0) ELSE -ISNULL(CGE3_IMPOSTA,0) END) AS TOTALEIMPOSTA,
            PNDOCORIG.CG41_INDTIPOREG AS IndicatoreTipoRegistro,
            PNDOCORIG.CG41_SEZIONALE AS Sezionale
       FROM CGE3_MOVPAGEDITORIA WITH (NOLOCK)
      INNER JOIN CGE2_PAGEDITORIA WITH (NOLOCK) ON CGE2_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE2_NUMREG_CG41 = CGE3_NUMREG_CG41
      INNER JOIN CG41_PRIMANOTA PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CGE2_REGPN_CG41
      INNER JOIN CGE1_MOVEDITORIA WITH (NOLOCK) ON CGE1_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE1_NUMREG_CG41 = CGE3_NUMREG_CG41 AND CGE1_PROGRIGA = CGE3_PROGRIGA_CGE1
      INNER JOIN CG41_PRIMANOTA PNDOCORIG ON PNDOCORIG.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNDOCORIG.CG41_NUMREG = CGE2_NUMREG_CG41
      WHERE PNPAGINC.CG41_DITTA_CG18 = @Ditta
        AND PNPAGINC.CG41_DATAREG BETWEEN @DataInizio AND @DataFine
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
      WHERE CG59_DITTA_CG18 = @Ditta
        AND CG59_ANNO = @Anno
 ) -- CTE_CG59
 INSERT INTO #PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9
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
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, IndicatoreTipoRegistro, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- MonteVentilazioneAcquisti
     SELECT Anno, 4, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IndicatoreVentilazione = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 4, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IndicatoreVentilazione = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- AcquistiIntra
     SELECT Anno, 12, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IsCausaleIntra = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 12, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IsCausaleIntra = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- SospesaAcquisti / SospesaAcquisti_AltreSocieta
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 6 WHEN TipoEsigibilita = 2 THEN 90 ELSE 6 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND FatturaInSospensione = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 6 WHEN TipoEsigibilita = 2 THEN 90 ELSE 6 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND FatturaInSospensione = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- SospesaVendite / SospesaVendite_AltreSocieta / SospesaVendite_SplitPayment
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 7 WHEN TipoEsigibilita = 2 THEN 91 ELSE 88 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FatturaInSospensione = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 7 WHEN TipoEsigibilita = 2 THEN 91 ELSE 88 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FatturaInSospensione = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- SospesaCorrispettivi / SospesaCorrispettivi_AltreSocieta
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 8 WHEN TipoEsigibilita = 2 THEN 92 ELSE 8 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND FatturaInSospensione = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 8 WHEN TipoEsigibilita = 2 THEN 92 ELSE 8 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND FatturaInSospensione = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- AutofatturaIntra
     SELECT Anno, 13, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsTestataAutofattura = 1 AND IsCausaleIntra = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 13, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsTestataAutofattura = 1 AND IsCausaleIntra = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- AutofatturaRSM
     SELECT Anno, 14, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsTestataAutofattura = 1 AND IsCausaleRSM = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 14, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsTestataAutofattura = 1 AND IsCausaleRSM = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- VenditeConSubfornitura
     SELECT Anno, 18, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FlagSubFornitura = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 18, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FlagSubFornitura = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- AcquistiAssociazioniSportiveDilettantistiche
     SELECT Anno, 22, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IndiTipoCG43 = 22
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 22, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND IndiTipoCG43 = 22 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- VenditeAssociazioniSportiveDilettantistiche
     SELECT Anno, 35, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND IndiTipoCG43 = 35
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 35, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND IndiTipoCG43 = 35 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- CorrispettiviAssociazioniSportiveDilettantistiche
     SELECT Anno, 35, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND IndiTipoCG43 = 35
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 35, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND IndiTipoCG43 = 35 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- AcquistiCompetenzaMesePrecedente
     SELECT Anno, 15, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND FlagCausaleDifferita = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 15, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 1 AND FlagCausaleDifferita = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- VenditeCompetenzaMesePrecedente
     SELECT Anno, 16, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FlagCausaleDifferita = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 16, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 2 AND FlagCausaleDifferita = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- AutofattureRSM
     SELECT Anno, 14, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsCausaleAutofattura = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 14, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IsCausaleAutofattura = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- Editoria
     SELECT Anno, 19, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND FatturaEditoria = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 19, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PROGIVA
      WHERE IndicatoreTipoRegistro = 3 AND FatturaEditoria = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     -- ExSospesaAcquisti / ExSospesaAcquisti_AltreSocieta
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 9 WHEN TipoEsigibilita = 2 THEN 93 ELSE 9 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 1
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 9 WHEN TipoEsigibilita = 2 THEN 93 ELSE 9 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 1 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- ExSospesaVendite / ExSospesaVendite_AltreSocieta / ExSospesaVendite_SplitPayment
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 10 WHEN TipoEsigibilita = 2 THEN 94 ELSE 89 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 2
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 10 WHEN TipoEsigibilita = 2 THEN 94 ELSE 89 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 2 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- ExSospesaCorrispettivi / ExSospesaCorrispettivi_AltreSocieta
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 11 WHEN TipoEsigibilita = 2 THEN 95 ELSE 11 END, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 3
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     SELECT Anno, CASE WHEN TipoEsigibilita = 1 THEN 11 WHEN TipoEsigibilita = 2 THEN 95 ELSE 11 END, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGSOSP
      WHERE IndicatoreTipoRegistro = 3 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord, TipoEsigibilita
     UNION ALL
     -- ExEditoria
     SELECT Anno, 20, Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGEDIT
      WHERE IndicatoreTipoRegistro = 3
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, 20, 'RP' AS Sezionale, CodiceIVA, TipoIVA, Mese, TipoRecord,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,
            0 AS IMPOSTANDMOV,
            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR
       FROM CTE_PAGEDIT
      WHERE IndicatoreTipoRegistro = 3 AND Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, CodiceIVA, TipoIVA, TipoRecord
     UNION ALL
     SELECT Anno, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, Mese, 'PGR' AS TipoRecord,
            0 AS IMPONIBILEMOV, 0 AS IMPOSTAMOV, 0 AS IMPOSTANDMOV,
            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEPROGR,
            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAPROGR,
            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDPROGR
       FROM CTE_CG59
      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA
 ) DATI
 ORDER BY Anno, IndicatoreTipoRegistro, Mese, Sezionale, CodiceIVA, TipoIVA, TipoRecord
-- ---- next batch ----
 SELECT * FROM #PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9 ORDER BY ANNO, TIPOREGISTRO, MESE, SEZIONALE, CODICEIVA, TIPOIVA, TIPORECORD
-- ---- next batch ----
