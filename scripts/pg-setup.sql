-- What an administrator runs once on the server (psql as a superuser):
--   psql -v app_password='...' -v report_password='...' -f scripts/pg-setup.sql
-- A role for the program, a read-only role for reports, and the office's
-- database owned by the program's role. Passwords are stored as
-- scram-sha-256 (the server's default since PostgreSQL 14).
SET password_encryption = 'scram-sha-256';
CREATE ROLE velm_app LOGIN PASSWORD :'app_password';
CREATE ROLE velm_report LOGIN PASSWORD :'report_password';
-- Reports only read, and never for long: the server refuses their writes.
ALTER ROLE velm_report SET default_transaction_read_only = on;
ALTER ROLE velm_report SET statement_timeout = '120s';
-- The program runs its reports as velm_report too (SET ROLE on the report's
-- connection), so that the server refuses their writes whoever logs on.
GRANT velm_report TO velm_app;
CREATE DATABASE velm OWNER velm_app ENCODING 'UTF8' LC_COLLATE 'C.UTF-8' LC_CTYPE 'C.UTF-8' TEMPLATE template0;
\connect velm
-- The person search's trigram index (the program makes it on the folded
-- names and numbers). A trusted extension, which the database's owner may
-- add as well; without it searches read the whole register.
CREATE EXTENSION IF NOT EXISTS pg_trgm;
-- The program creates its tables in the schema public (owned by the
-- database's owner); the report role may read every table but users (the
-- program takes that one back when it creates it).
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO velm_report;
ALTER DEFAULT PRIVILEGES FOR ROLE velm_app IN SCHEMA public GRANT SELECT ON TABLES TO velm_report;
