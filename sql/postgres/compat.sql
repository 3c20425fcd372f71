-- Objects that give the component's T-SQL its SQL Server meaning on PostgreSQL: functions the
-- statements call and + on text. Installed with the schema; the dialect adapter relies on them.
CREATE SCHEMA IF NOT EXISTS dbo;

-- String concatenation with +, as T-SQL writes it ('00000000' + CAST(x AS VARCHAR)).
CREATE OPERATOR public.+ (LEFTARG = text, RIGHTARG = text, FUNCTION = textcat);

CREATE FUNCTION public.newid() RETURNS varchar(36)
  LANGUAGE sql VOLATILE AS $$ SELECT upper(gen_random_uuid()::text)::varchar(36) $$;

CREATE FUNCTION public.getdate() RETURNS timestamp
  LANGUAGE sql STABLE AS $$ SELECT localtimestamp $$;

CREATE FUNCTION public.year(timestamp) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT extract(year FROM $1)::integer $$;
CREATE FUNCTION public.month(timestamp) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT extract(month FROM $1)::integer $$;
CREATE FUNCTION public.day(timestamp) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT extract(day FROM $1)::integer $$;

-- LEN ignores trailing blanks, as SQL Server's does.
CREATE FUNCTION public.len(text) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT length(rtrim($1, ' ')) $$;

-- The server's current date.
CREATE FUNCTION dbo.crv_getdate() RETURNS timestamp
  LANGUAGE sql STABLE AS $$ SELECT current_date::timestamp $$;

-- Account description of the chart of accounts of a group. The company and the four-character
-- code are part of the call; this development database keeps one chart per group.
CREATE FUNCTION dbo.fncg_cg24_conto(p_gruppo numeric, p_conto text, p_ditta numeric, p_codice text)
  RETURNS TABLE (cg24_descr varchar(40))
  LANGUAGE sql STABLE AS $$
    SELECT CG24_DESCR FROM CG24_TABPDC
     WHERE CG24_GRUPPO_CG10 = p_gruppo AND CG24_CONTO = p_conto
  $$;
