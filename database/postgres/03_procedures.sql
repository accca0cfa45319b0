-- Sign-in, server clock, persons, code lists, documents and images.
SET client_min_messages = warning;

-- Server clock: one OUT parameter each, in the regional formats of the service.
CREATE OR REPLACE FUNCTION sp_server_date(OUT server_date text) AS $$
  SELECT to_char(now(), 'YYYY/MM/DD')
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_server_time(OUT server_time text) AS $$
  SELECT to_char(now(), 'HH24:MI:SS')
$$ LANGUAGE sql STABLE;

-- Sign-in with a numeric answer: the user's person code, or -1 with a message.
CREATE OR REPLACE FUNCTION sp_users_login(nu text, pw text, OUT message text, OUT result_code integer) AS $$
DECLARE
  user_cp integer := veltra_password_user(nu, pw);
BEGIN
  IF user_cp IS NULL THEN
    message := 'Invalid user name or password';
    result_code := -1;
  ELSE
    message := 'OK';
    result_code := user_cp;
  END IF;
END
$$ LANGUAGE plpgsql;

-- Sign-in with rows: the result triple, the user and a new token (also in s_param).
CREATE OR REPLACE FUNCTION _sp_users_login(nu text, pw text)
RETURNS TABLE(s_result text, s_message text, s_param text, cp integer, np text, token text) AS $$
DECLARE
  user_cp integer := veltra_password_user(nu, pw);
  t text;
BEGIN
  IF user_cp IS NULL THEN
    RETURN QUERY SELECT '0'::text, 'Invalid user name or password'::text, '0'::text,
                        NULL::integer, NULL::text, NULL::text;
    RETURN;
  END IF;
  t := veltra_issue_token(user_cp);
  RETURN QUERY SELECT '1'::text, 'OK'::text, t, p.cp, p.np, t FROM per p WHERE p.cp = user_cp;
END
$$ LANGUAGE plpgsql;

-- Main person list.
CREATE OR REPLACE FUNCTION sp_per_select_main_2221()
RETURNS TABLE(cp integer, np text, fname text, lname text, nid text, mobil text) AS $$
  SELECT p.cp, p.np, p.fname, p.lname, p.nid, p.mobil FROM per p ORDER BY p.cp
$$ LANGUAGE sql STABLE;

-- Inserts a person; answers the new person code (0 when neither name nor national id is given).
CREATE OR REPLACE FUNCTION sp_per_insert(np text, nid text, unid text, eid text, fname text, lname text, father text, mobil text, tel text, fax text, email text, web text, addr1 text, pocd1 text, addr2 text, pocd2 text, login_user_cp text, OUT result_code integer) AS $$
BEGIN
  IF coalesce(btrim(np), '') = '' AND coalesce(btrim(lname), '') = '' THEN
    result_code := 0;
    RETURN;
  END IF;
  INSERT INTO per(np, nid, unid, eid, fname, lname, father, mobil, tel, fax, email, web, addr1, pocd1, addr2, pocd2, created_by)
  VALUES (sp_per_insert.np, sp_per_insert.nid, sp_per_insert.unid, sp_per_insert.eid, sp_per_insert.fname, sp_per_insert.lname, sp_per_insert.father, sp_per_insert.mobil, sp_per_insert.tel, sp_per_insert.fax, sp_per_insert.email, sp_per_insert.web, sp_per_insert.addr1, sp_per_insert.pocd1, sp_per_insert.addr2, sp_per_insert.pocd2, veltra_int(login_user_cp))
  RETURNING cp INTO result_code;
END
$$ LANGUAGE plpgsql;

-- Updates a person; answers nothing (the service answers the person code itself).
CREATE OR REPLACE FUNCTION sp_per_update(cp text, np text, nid text, unid text, eid text, fname text, lname text, father text, mobil text, tel text, fax text, email text, web text, addr1 text, pocd1 text, addr2 text, pocd2 text, login_user_cp text) RETURNS void AS $$
  UPDATE per SET np = sp_per_update.np,
         nid = sp_per_update.nid,
         unid = sp_per_update.unid,
         eid = sp_per_update.eid,
         fname = sp_per_update.fname,
         lname = sp_per_update.lname,
         father = sp_per_update.father,
         mobil = sp_per_update.mobil,
         tel = sp_per_update.tel,
         fax = sp_per_update.fax,
         email = sp_per_update.email,
         web = sp_per_update.web,
         addr1 = sp_per_update.addr1,
         pocd1 = sp_per_update.pocd1,
         addr2 = sp_per_update.addr2,
         pocd2 = sp_per_update.pocd2,
         updated_by = veltra_int(sp_per_update.login_user_cp), updated_at = now()
   WHERE per.cp = veltra_int(sp_per_update.cp)
$$ LANGUAGE sql;

-- Registers a person together with a user account (when a user name is given).
CREATE OR REPLACE FUNCTION sp_per_insert_register(np text, nid text, unid text, rnid text, fnid text, eid text, fname text, lname text, father text, mobil text, tel text, fax text, email text, web text, addr1 text, pocd1 text, addr2 text, pocd2 text, nu text, pw_1 text, pw_2 text, ccountry text, cprovince text, ccity text, sdate text, edate text, bdate text, mdate text, c_sex text, c_edu text, c_mar text, c_job text, c_rel text, c_ser_loc text, c_rff text, c_bnk text, c_intro text, foreigners text, legal text, cg text, cgs text, c_insura text, c_insura_sub text, insura_num text, bank_acc text, descr text)
RETURNS TABLE(s_result text, s_message text, s_param text) AS $$
DECLARE
  new_cp integer;
BEGIN
  IF coalesce(btrim(sp_per_insert_register.np), '') = '' AND coalesce(btrim(sp_per_insert_register.lname), '') = '' THEN
    RETURN QUERY SELECT '0'::text, 'Name is required'::text, '0'::text;
    RETURN;
  END IF;
  IF coalesce(sp_per_insert_register.nu, '') <> '' THEN
    IF coalesce(sp_per_insert_register.pw_1, '') = '' OR sp_per_insert_register.pw_1 IS DISTINCT FROM sp_per_insert_register.pw_2 THEN
      RETURN QUERY SELECT '0'::text, 'Passwords are empty or do not match'::text, '0'::text;
      RETURN;
    END IF;
    IF EXISTS (SELECT 1 FROM users u WHERE u.nu = sp_per_insert_register.nu) THEN
      RETURN QUERY SELECT '0'::text, 'User name is taken'::text, '0'::text;
      RETURN;
    END IF;
  END IF;
  INSERT INTO per(np, nid, unid, rnid, fnid, eid, fname, lname, father, mobil, tel, fax, email, web, addr1, pocd1, addr2, pocd2, ccountry, cprovince, ccity, sdate, edate, bdate, mdate, c_sex, c_edu, c_mar, c_job, c_rel, c_ser_loc, c_rff, c_bnk, c_intro, foreigners, legal, cg, cgs, c_insura, c_insura_sub, insura_num, bank_acc, descr)
  VALUES (sp_per_insert_register.np, sp_per_insert_register.nid, sp_per_insert_register.unid, sp_per_insert_register.rnid, sp_per_insert_register.fnid, sp_per_insert_register.eid, sp_per_insert_register.fname, sp_per_insert_register.lname, sp_per_insert_register.father, sp_per_insert_register.mobil, sp_per_insert_register.tel, sp_per_insert_register.fax, sp_per_insert_register.email, sp_per_insert_register.web, sp_per_insert_register.addr1, sp_per_insert_register.pocd1, sp_per_insert_register.addr2, sp_per_insert_register.pocd2, sp_per_insert_register.ccountry, sp_per_insert_register.cprovince, sp_per_insert_register.ccity, sp_per_insert_register.sdate, sp_per_insert_register.edate, sp_per_insert_register.bdate, sp_per_insert_register.mdate, sp_per_insert_register.c_sex, sp_per_insert_register.c_edu, sp_per_insert_register.c_mar, sp_per_insert_register.c_job, sp_per_insert_register.c_rel, sp_per_insert_register.c_ser_loc, sp_per_insert_register.c_rff, sp_per_insert_register.c_bnk, sp_per_insert_register.c_intro, sp_per_insert_register.foreigners, sp_per_insert_register.legal, sp_per_insert_register.cg, sp_per_insert_register.cgs, sp_per_insert_register.c_insura, sp_per_insert_register.c_insura_sub, sp_per_insert_register.insura_num, sp_per_insert_register.bank_acc, sp_per_insert_register.descr)
  RETURNING per.cp INTO new_cp;
  IF coalesce(sp_per_insert_register.nu, '') <> '' THEN
    INSERT INTO users(cp, nu, pw_hash) VALUES (new_cp, sp_per_insert_register.nu, crypt(sp_per_insert_register.pw_1, gen_salt('bf', 8)));
  END IF;
  RETURN QUERY SELECT '1'::text, 'OK'::text, new_cp::text;
END
$$ LANGUAGE plpgsql;

-- The eighteen code lists. Narrowed lists take the parent code; an empty parent lists all.

CREATE OR REPLACE FUNCTION sp_weekly_select() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2351 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_ser_select() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2352 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_country_select_2371() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2371 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_province_select_2372(ccountry text) RETURNS TABLE(code text, name text, parent text) AS $$
  SELECT c.code, c.name, c.parent FROM code_list c
   WHERE c.list_no = 2372 AND (coalesce(sp_province_select_2372.ccountry, '') = '' OR c.parent = sp_province_select_2372.ccountry)
   ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_city_select_2373(cprovince text) RETURNS TABLE(code text, name text, parent text) AS $$
  SELECT c.code, c.name, c.parent FROM code_list c
   WHERE c.list_no = 2373 AND (coalesce(sp_city_select_2373.cprovince, '') = '' OR c.parent = sp_city_select_2373.cprovince)
   ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_sex_select_2374() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2374 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_edu_select_2375() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2375 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_mar_select_2376() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2376 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_job_select_2377() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2377 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_rel_select_2378() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2378 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_ser_loc_select_2379() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2379 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_rff_select_2380() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2380 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_bnk_select_2381() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2381 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_group_select_2382() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2382 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_group_sub_select_2383(cg text) RETURNS TABLE(code text, name text, parent text) AS $$
  SELECT c.code, c.name, c.parent FROM code_list c
   WHERE c.list_no = 2383 AND (coalesce(sp_per_group_sub_select_2383.cg, '') = '' OR c.parent = sp_per_group_sub_select_2383.cg)
   ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_insura_select_2384() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2384 ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_insura_sub_select_2385(c_insura text) RETURNS TABLE(code text, name text, parent text) AS $$
  SELECT c.code, c.name, c.parent FROM code_list c
   WHERE c.list_no = 2385 AND (coalesce(sp_insura_sub_select_2385.c_insura, '') = '' OR c.parent = sp_insura_sub_select_2385.c_insura)
   ORDER BY c.code
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION sp_per_intro_select_2386() RETURNS TABLE(code text, name text) AS $$
  SELECT c.code, c.name FROM code_list c WHERE c.list_no = 2386 ORDER BY c.code
$$ LANGUAGE sql STABLE;

-- Documents: the caller's token must be live.
CREATE OR REPLACE FUNCTION sp_doc_file_insert_2701(cp text, cfile text, nfile text, pfile text,
    login_user_token text, login_user_cp text)
RETURNS TABLE(s_result text, s_message text, s_param text) AS $$
DECLARE
  user_cp integer := veltra_token_user(login_user_token, login_user_cp);
  new_id integer;
BEGIN
  IF user_cp IS NULL THEN
    RETURN QUERY SELECT '0'::text, 'Invalid token'::text, '0'::text;
    RETURN;
  END IF;
  IF NOT EXISTS (SELECT 1 FROM per p WHERE p.cp = veltra_int(sp_doc_file_insert_2701.cp)) THEN
    RETURN QUERY SELECT '0'::text, 'Unknown person'::text, '0'::text;
    RETURN;
  END IF;
  INSERT INTO doc_file(cp, nfile, pfile, cfile, created_by)
  VALUES (veltra_int(sp_doc_file_insert_2701.cp), nfile, pfile, cfile, user_cp)
  RETURNING id_file INTO new_id;
  RETURN QUERY SELECT '1'::text, 'OK'::text, new_id::text;
END
$$ LANGUAGE plpgsql;

CREATE OR REPLACE FUNCTION sp_doc_file_update_2703(id_file text, cfile text, nfile text,
    pfile text, login_user_token text, login_user_cp text)
RETURNS TABLE(s_result text, s_message text, s_param text) AS $$
DECLARE
  changed integer;
BEGIN
  IF veltra_token_user(login_user_token, login_user_cp) IS NULL THEN
    RETURN QUERY SELECT '0'::text, 'Invalid token'::text, '0'::text;
    RETURN;
  END IF;
  UPDATE doc_file d SET cfile = sp_doc_file_update_2703.cfile,
                        nfile = sp_doc_file_update_2703.nfile,
                        pfile = sp_doc_file_update_2703.pfile, updated_at = now()
   WHERE d.id_file = veltra_int(sp_doc_file_update_2703.id_file);
  GET DIAGNOSTICS changed = ROW_COUNT;
  IF changed = 0 THEN
    RETURN QUERY SELECT '0'::text, 'Unknown document'::text, coalesce(sp_doc_file_update_2703.id_file, '');
  ELSE
    RETURN QUERY SELECT '1'::text, 'OK'::text, sp_doc_file_update_2703.id_file;
  END IF;
END
$$ LANGUAGE plpgsql;

-- No row when the document is unknown or the token is not live.
CREATE OR REPLACE FUNCTION sp_doc_file_select_cfile_2706(id_file text, login_user_token text,
    login_user_cp text)
RETURNS TABLE(id_file_out integer, nfile text, cfile text) AS $$
  SELECT d.id_file, d.nfile, d.cfile FROM doc_file d
   WHERE d.id_file = veltra_int(sp_doc_file_select_cfile_2706.id_file)
     AND veltra_token_user(login_user_token, login_user_cp) IS NOT NULL
$$ LANGUAGE sql STABLE;

-- Images uploaded through listener 3: reserve a record and name its file.
CREATE OR REPLACE FUNCTION _9703_images_path_and_file_name_for_per_new(cp text, file_name text, lucp text)
RETURNS TABLE(per_path_with_name text) AS $$
DECLARE
  folder text := veltra_setting('images_folder');
  person integer := veltra_int(cp);
  new_id integer;
  name text;
BEGIN
  IF folder IS NULL OR person IS NULL OR NOT EXISTS (SELECT 1 FROM per p WHERE p.cp = person) THEN
    RETURN QUERY SELECT ''::text;   -- the service then stores nothing
    RETURN;
  END IF;
  INSERT INTO images(cp) VALUES (person) RETURNING id_images INTO new_id;
  name := person || '_' || new_id || '.jpg';
  UPDATE images SET nfile = name, path = folder || '/' || name WHERE id_images = new_id;
  RETURN QUERY SELECT folder || '/' || name;
END
$$ LANGUAGE plpgsql;

-- Listener 3 reports the stored file.
CREATE OR REPLACE FUNCTION _9704_images_insert_from_exe_wb_service(cp text, pfile text, nfile text,
    cfile text, lucp text)
RETURNS TABLE(s_result text) AS $$
DECLARE
  changed integer;
BEGIN
  UPDATE images i SET stored = true
   WHERE i.cp = veltra_int(_9704_images_insert_from_exe_wb_service.cp)
     AND i.nfile = _9704_images_insert_from_exe_wb_service.nfile;
  GET DIAGNOSTICS changed = ROW_COUNT;
  RETURN QUERY SELECT CASE WHEN changed > 0 THEN '1' ELSE '0' END::text;
END
$$ LANGUAGE plpgsql;

-- Listener 4: the file of a stored image.
CREATE OR REPLACE FUNCTION _9702_images_path_for_per_with_file_name(cp text, id_images text, lucp text)
RETURNS TABLE(per_file text) AS $$
  SELECT i.path FROM images i
   WHERE i.cp = veltra_int(_9702_images_path_for_per_with_file_name.cp)
     AND i.id_images = veltra_int(_9702_images_path_for_per_with_file_name.id_images)
     AND i.stored
$$ LANGUAGE sql STABLE;
