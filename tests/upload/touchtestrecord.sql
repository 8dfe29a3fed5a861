-- The table the station writes one row of per finished test, for a
-- PostgreSQL server reached through the ODBC driver registered as
-- "SQL SERVER" (psqlODBC). Run it as the role the station logs in with:
--
--   psql -h <server> -p <port> -U <role> -d <database> -f touchtestrecord.sql
--
-- The name is unquoted, so the server folds it to lower case exactly as it
-- folds the station's own unquoted statement.
CREATE TABLE IF NOT EXISTS TouchTestRecord (
    Test_DateTime   timestamp,
    Device_McuId    text,
    Device_Product  text,
    Device_CheckSum text,
    Device_Batch    text,
    Device_SN       text,
    Test_AppInfo    text,
    Test_HostOS     text,
    Test_HostIp     text,
    Test_HostMac    text,
    Test_Result     text,
    Test_LogUrl     text
);

-- The station converts its date text with to_date(text, 'yyyy-mm-dd
-- hh24:mi:ss'). PostgreSQL's own to_date returns a date and drops the time,
-- so this one, which keeps it, is put ahead of pg_catalog in the role's
-- search path.
CREATE SCHEMA IF NOT EXISTS station;
CREATE OR REPLACE FUNCTION station.to_date(text, text) RETURNS timestamp
    LANGUAGE sql STABLE STRICT
    AS $$ SELECT pg_catalog.to_timestamp($1, $2)::timestamp $$;
ALTER ROLE CURRENT_USER SET search_path = station, pg_catalog, public;
