SELECT * FROM CG18_DITTE WHERE CG18_DITTA = 1
-- ---- next batch ----
UPDATE CG52_PROGM SET CG52_FATTURATO = 0 WHERE CG52_DITTA_CG18 = 1 AND CG52_ANNO_CG53 = 2024 AND CG52_PROGESER_CG53 = 1 AND CG52_GRUPPO_CG10 = 1
-- ---- next batch ----
UPDATE CGV1_PROGMVAL SET CGV1_FATTURATO = 0,     CGV1_FATTURATOEURO = 0 WHERE CGV1_IDPROGM_CG52 IN (                             SELECT CG52_IDPROGM                             FROM CG52_PROGM                             WHERE CG52_DITTA_CG18 = 1                             AND CG52_ANNO_CG53 = 2024                             AND CG52_PROGESER_CG53 = 1                             AND CG52_GRUPPO_CG10 = 1                       )
-- ---- next batch ----
UPDATE CG53_PROGA SET CG53_IMPORTOIVA = 0 WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1 AND CG53_GRUPPO_CG10 = 1
-- ---- next batch ----
UPDATE CGV0_PROGAVAL SET CGV0_IMPORTOIVA = 0,     CGV0_IMPORTOIVAEURO = 0 WHERE CGV0_IDPROGA_CG53 IN (                              SELECT CG53_IDPROGA                              FROM CG53_PROGA                              WHERE CG53_DITTA_CG18 = 1                              AND CG53_ANNO_CG19 = 2024                              AND CG53_PROGESER_CG19 = 1                              AND CG53_GRUPPO_CG10 = 1                            )
-- ---- next batch ----
SELECT DISTINCT CG41_PRIMANOTA.* FROM CG41_PRIMANOTA     INNER JOIN VCG42_MOVCONT         ON CG42_DITTA_CG18 = CG41_DITTA_CG18         AND CG42_NUMREG_CG41 = CG41_NUMREG WHERE CG41_DITTA_CG18 = 1 AND   CG41_ANNO_CG19 = 2024 AND   CG41_PROGESER_CG19 = 1 AND   CG41_INDTIPOREG IN (1 , 2) AND   CG41_INDTIPOMOV = 0 AND   CG41_INDPROVREG = 0
-- ---- next batch ----
SELECT CG33_INDTIPOREG FROM CG33_TABCAU WHERE CG33_CODICE = 'FV  '
-- ---- next batch ----
SELECT CG33_INDTIPOREG FROM CG33_TABCAU WHERE CG33_CODICE = 'FA  '
-- ---- next batch ----
SELECT CG33_INDTIPOREG FROM CG33_TABCAU WHERE CG33_CODICE = 'NC  '
-- ---- next batch ----
SELECT CG33_INDTIPOREG FROM CG33_TABCAU WHERE CG33_CODICE = 'XX  '
-- ---- next batch ----
SELECT K.NUMREG AS VERIPROG_NUMREG, L.* FROM CG42_MOVCONT L INNER JOIN (VALUES ('R1'), ('R10'), ('R2'), ('R3'), ('R4'), ('R5'), ('R6')) AS K (NUMREG) ON L.CG42_NUMREG_CG41 = K.NUMREG WHERE L.CG42_DITTA_CG18 = 1
-- ---- next batch ----
SELECT K.NUMREG AS VERIPROG_NUMREG, V.* FROM CG43_MOVIVA V INNER JOIN (VALUES ('R1'), ('R10'), ('R2'), ('R3'), ('R4'), ('R5'), ('R6')) AS K (NUMREG) ON V.CG43_NUMREG_CG41 = K.NUMREG WHERE V.CG43_DITTA_CG18 = 1
-- ---- next batch ----
SELECT * FROM CG24_TABPDC WHERE CG24_GRUPPO_CG10 = 1
-- ---- next batch ----
SELECT * FROM CG52_PROGM WHERE CG52_DITTA_CG18 = 1 AND   CG52_ANNO_CG53 = 2024 AND   CG52_PROGESER_CG53 = 1 AND   CG52_GRUPPO_CG10 = 1
-- ---- next batch ----
SELECT CG53_IDPROGA FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1 AND CG53_GRUPPO_CG10 = 1 AND CG53_CODICE_CG31 = 0 AND CG53_CONTO_CG24 = '1401' AND CG53_TIPOCF_CG44 = 1 AND CG53_CLIFOR_CG44 = 5
-- ---- next batch ----
-- UpdateBatch public.cg52_progm: 6 row(s)
-- ---- next batch ----
SELECT * FROM CGV1_PROGMVAL WHERE CGV1_IDPROGM_CG52 IN (                             SELECT CG52_IDPROGM                             FROM CG52_PROGM                             WHERE CG52_DITTA_CG18 = 1                             AND   CG52_ANNO_CG53 = 2024                             AND   CG52_PROGESER_CG53 = 1                             AND   CG52_GRUPPO_CG10 = 1                       )
-- ---- next batch ----
-- UpdateBatch public.cgv1_progmval: 1 row(s)
-- ---- next batch ----
SELECT * FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1 AND   CG53_ANNO_CG19 = 2024 AND   CG53_PROGESER_CG19 = 1 AND   CG53_GRUPPO_CG10 = 1
-- ---- next batch ----
-- UpdateBatch public.cg53_proga: 10 row(s)
-- ---- next batch ----
SELECT * FROM CGV0_PROGAVAL WHERE CGV0_IDPROGA_CG53 IN (                              SELECT CG53_IDPROGA                              FROM CG53_PROGA                              WHERE CG53_DITTA_CG18 = 1                              AND   CG53_ANNO_CG19 = 2024                              AND   CG53_PROGESER_CG19 = 1                              AND   CG53_GRUPPO_CG10 = 1                            )
-- ---- next batch ----
-- UpdateBatch public.cgv0_progaval: 2 row(s)
-- ---- next batch ----
