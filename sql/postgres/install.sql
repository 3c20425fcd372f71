-- Installs the development ledger database: psql -v ON_ERROR_STOP=1 -f sql/postgres/install.sql
\set ON_ERROR_STOP 1
BEGIN;
\ir schema.sql
\ir compat.sql
\ir views.sql
COMMIT;
