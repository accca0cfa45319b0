-- Test procedures. Names are unquoted, so "_Exec_Proc" and "_exec_proc" are one function.

-- Server clock: one OUT parameter each.
CREATE OR REPLACE FUNCTION sp_server_date(OUT server_date text) AS $$
  SELECT '2026/01/02'::text
$$ LANGUAGE sql;

CREATE OR REPLACE FUNCTION sp_server_time(OUT server_time text) AS $$
  SELECT '13:14:15'::text
$$ LANGUAGE sql;

-- The dispatcher: records its arguments and answers in shapes chosen by procname.
--   'fail'     raises an error
--   'persons'  the per table
--   'empty'    no rows
--   'two'      two result sets (only the first is read)
--   otherwise  the status triple echoing the arguments
CREATE OR REPLACE FUNCTION _exec_proc(procname text, params text, token text, lucp text)
RETURNS SETOF refcursor AS $$
DECLARE
  c1 refcursor := 'c1';
  c2 refcursor := 'c2';
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('_exec_proc', ARRAY[procname, params, token, lucp]);
  IF procname = 'fail' THEN
    RAISE EXCEPTION 'dispatcher refused %', params;
  ELSIF procname = 'persons' THEN
    OPEN c1 FOR SELECT cp, np FROM per ORDER BY cp;
  ELSIF procname = 'empty' THEN
    OPEN c1 FOR SELECT cp, np FROM per WHERE false;
  ELSIF procname = 'two' THEN
    OPEN c1 FOR SELECT 'first'::text AS which;
    OPEN c2 FOR SELECT 'second'::text AS which;
    RETURN NEXT c1;
    RETURN NEXT c2;
    RETURN;
  ELSE
    OPEN c1 FOR SELECT '1'::text AS s_result, procname || '|' || params AS s_message,
                       token || '|' || lucp AS s_param;
  END IF;
  RETURN NEXT c1;
END
$$ LANGUAGE plpgsql;

-- Raises an error whatever it is given.
CREATE OR REPLACE FUNCTION sp_raise_error(reason text) RETURNS void AS $$
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('sp_raise_error', ARRAY[reason]);
  RAISE EXCEPTION 'procedure failed: %', reason;
END
$$ LANGUAGE plpgsql;

-- OUT parameters that may be NULL: each is its input echoed, or NULL when the input is ''.
CREATE OR REPLACE FUNCTION sp_nullable_outputs(a text, b text, OUT out_a text, OUT out_b text) AS $$
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('sp_nullable_outputs', ARRAY[a, b]);
  out_a := NULLIF(a, '');
  out_b := NULLIF(b, '');
END
$$ LANGUAGE plpgsql;

-- Typed inputs, converted by the server from text; records and returns nothing.
CREATE OR REPLACE FUNCTION sp_record(n integer, t text, d date) RETURNS void AS $$
  INSERT INTO call_log(procname, args) VALUES ('sp_record', ARRAY[n::text, t, d::text]);
$$ LANGUAGE sql;

-- Rows without parameters.
CREATE OR REPLACE FUNCTION sp_per_select() RETURNS TABLE(cp integer, np text) AS $$
  SELECT cp, np FROM per ORDER BY cp
$$ LANGUAGE sql;

-- One row holding a value of every type group, then a row of NULLs.
CREATE OR REPLACE FUNCTION sp_all_types() RETURNS TABLE(
  c_text text, c_varchar varchar(20), c_int integer, c_bigint bigint, c_numeric numeric(10,2),
  c_float double precision, c_bool boolean, c_date date, c_time time, c_timestamp timestamp,
  c_midnight timestamp, c_uuid uuid, c_bytes bytea) AS $$
  SELECT 'متن'::text, 'abc'::varchar(20), 1234, 9007199254740993::bigint, 12.50::numeric(10,2),
         1.5::double precision, true, DATE '2024-03-05', TIME '07:08:09',
         TIMESTAMP '2024-03-05 07:08:09', TIMESTAMP '2024-03-05 00:00:00',
         'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid, '\x0102'::bytea
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, NULL, NULL, false, NULL, NULL, NULL, NULL, NULL, NULL
$$ LANGUAGE sql;

-- Documents.
CREATE OR REPLACE FUNCTION sp_doc_file_insert_2701(cp text, cfile text, nfile text, pfile text,
    login_user_token text, login_user_cp text)
RETURNS TABLE(s_result text, s_message text, s_param text) AS $$
DECLARE
  new_id integer;
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('sp_doc_file_insert_2701',
      ARRAY[cp, nfile, pfile, login_user_token, login_user_cp]);
  INSERT INTO doc_file(cp, cfile, nfile, pfile) VALUES (cp, cfile, nfile, pfile)
      RETURNING id_file INTO new_id;
  RETURN QUERY SELECT '1'::text, 'inserted'::text, new_id::text;
END
$$ LANGUAGE plpgsql;

CREATE OR REPLACE FUNCTION sp_doc_file_update_2703(id_file text, cfile text, nfile text,
    pfile text, login_user_token text, login_user_cp text)
RETURNS TABLE(s_result text, s_message text, s_param text) AS $$
DECLARE
  changed integer;
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('sp_doc_file_update_2703',
      ARRAY[id_file, nfile, pfile, login_user_token, login_user_cp]);
  UPDATE doc_file d SET cfile = sp_doc_file_update_2703.cfile,
                        nfile = sp_doc_file_update_2703.nfile,
                        pfile = sp_doc_file_update_2703.pfile
   WHERE d.id_file = sp_doc_file_update_2703.id_file::integer;
  GET DIAGNOSTICS changed = ROW_COUNT;
  RETURN QUERY SELECT CASE WHEN changed = 1 THEN '1' ELSE '0' END::text,
                      'updated'::text, sp_doc_file_update_2703.id_file;
END
$$ LANGUAGE plpgsql;

CREATE OR REPLACE FUNCTION sp_doc_file_select_cfile_2706(id_file text, login_user_token text,
    login_user_cp text)
RETURNS TABLE(id_file_out integer, cfile text) AS $$
BEGIN
  INSERT INTO call_log(procname, args) VALUES ('sp_doc_file_select_cfile_2706',
      ARRAY[id_file, login_user_token, login_user_cp]);
  RETURN QUERY SELECT d.id_file, d.cfile FROM doc_file d
    WHERE d.id_file = sp_doc_file_select_cfile_2706.id_file::integer;
END
$$ LANGUAGE plpgsql;

-- An insert procedure that lacks the parameter pfile.
CREATE OR REPLACE FUNCTION sp_doc_file_insert_no_pfile(cp text, cfile text, nfile text)
RETURNS TABLE(s_result text) AS $$
  SELECT '1'::text
$$ LANGUAGE sql;
