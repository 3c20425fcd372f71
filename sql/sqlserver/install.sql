-- Installs the development ledger schema into an empty SQL Server database, in one go:
--   cd sql/sqlserver && sqlcmd -S host -d CONTABILITA -U user -P secret -b -i install.sql
-- (:r reads the files from the current folder.) Stops at the first error.
:on error exit
:r schema.sql
:r compat.sql
:r views.sql
