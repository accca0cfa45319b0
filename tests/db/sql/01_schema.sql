-- Test database of the gateway's integration tests. Every test procedure records the
-- arguments it received in call_log, so a test can check on the database side what was sent.
-- `app` tells the test processes that run side by side apart (each sets its own
-- application name).
SET client_min_messages = warning;

DROP TABLE IF EXISTS call_log;
CREATE TABLE call_log (
  id bigserial PRIMARY KEY,
  app text NOT NULL DEFAULT current_setting('application_name'),
  procname text NOT NULL,
  args text[] NOT NULL
);

DROP TABLE IF EXISTS doc_file;
CREATE TABLE doc_file (
  id_file serial PRIMARY KEY,
  cp text,
  cfile text,
  nfile text,
  pfile text
);

DROP TABLE IF EXISTS per;
CREATE TABLE per (cp integer PRIMARY KEY, np text);
INSERT INTO per VALUES (1, 'علی'), (2, NULL), (3, 'a"b\c/d');
