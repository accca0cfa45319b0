-- The dispatchers: "_Exec_Proc" (token and user code) and "_exec_proc_w_nu_pw" (user name and
-- password). Both answer one result set through a refcursor; its shape depends on the request.
SET client_min_messages = warning;

CREATE OR REPLACE FUNCTION veltra_status(c refcursor, r text, msg text, param text DEFAULT '0')
RETURNS refcursor AS $$
BEGIN
  OPEN c FOR SELECT r AS s_result, msg AS s_message, param AS s_param;
  RETURN c;
END
$$ LANGUAGE plpgsql;

-- Folder of a person's files under the file root, as listener 6 files them.
CREATE OR REPLACE FUNCTION veltra_bucket(root text, n integer) RETURNS text AS $$
  SELECT root || '/' || (n / 10000 * 10000) || '-' || (n / 10000 * 10000 + 9999)
              || '/' || (n / 100 * 100) || '-' || (n / 100 * 100 + 99) || '/' || n
$$ LANGUAGE sql IMMUTABLE;

-- Requests of signed-in users. `user_cp` is the authenticated user.
CREATE OR REPLACE FUNCTION veltra_route(c refcursor, key text, args text[], user_cp integer)
RETURNS refcursor AS $$
DECLARE
  n integer := veltra_int(key);
  made integer := 0;
  d date;
  t time;
  slot interval;
  new_id integer;
  person integer;
BEGIN
  IF n IS NOT NULL AND n < 1000 THEN
    -- Permission check of listener 1 for the requests below 1000 (112 among them).
    IF veltra_may_run(user_cp, n) THEN
      RETURN veltra_status(c, '1', 'OK');
    END IF;
    RETURN veltra_status(c, '0', 'Access denied to request ' || key);
  END IF;

  IF n BETWEEN 2351 AND 2386 THEN
    OPEN c FOR SELECT l.code, l.name, l.parent FROM code_list l
      WHERE l.list_no = n AND (coalesce(args[1], '') = '' OR l.parent = args[1] OR l.parent IS NULL)
      ORDER BY l.code;
    RETURN c;
  END IF;

  IF key = 'sp_per_select_for_update_2472' THEN
    OPEN c FOR SELECT p.* FROM per p WHERE p.cp = veltra_int(args[1]);
    RETURN c;
  END IF;

  IF key = 'sp_timeing_create_2340' THEN
    -- fday, tday, StartTime, EndTime, amount, c_week, cp_expert, cs, time_count
    IF veltra_date(args[1]) IS NULL OR veltra_date(args[2]) IS NULL
       OR veltra_int(args[7]) IS NULL OR coalesce(veltra_int(args[9]), 0) <= 0 THEN
      RETURN veltra_status(c, '0', 'Invalid timing request');
    END IF;
    BEGIN
      slot := (args[4]::time - args[3]::time) / veltra_int(args[9]);
    EXCEPTION WHEN others THEN
      RETURN veltra_status(c, '0', 'Invalid time window');
    END;
    IF slot <= interval '0' THEN
      RETURN veltra_status(c, '0', 'Invalid time window');
    END IF;
    d := veltra_date(args[1]);
    WHILE d <= veltra_date(args[2]) LOOP
      -- c_week: 0 or empty every day, otherwise the ISO week day 1 (Monday) .. 7 (Sunday)
      IF coalesce(veltra_int(args[6]), 0) = 0 OR extract(isodow FROM d) = veltra_int(args[6]) THEN
        t := args[3]::time;
        FOR i IN 1 .. veltra_int(args[9]) LOOP
          INSERT INTO timing(cp_expert, cs, tday, start_time, end_time, amount, created_by)
          VALUES (veltra_int(args[7]), args[8], d, t, t + slot, args[5], user_cp);
          t := t + slot;
          made := made + 1;
        END LOOP;
      END IF;
      d := d + 1;
    END LOOP;
    RETURN veltra_status(c, '1', 'OK', made::text);
  END IF;

  IF key = '3001' THEN
    -- Timings of an expert in a span (the filtered request 1119): fdate, tdate, ..., cp_expert.
    OPEN c FOR SELECT tm.id_timing, tm.cp_expert, tm.cs, tm.tday, tm.start_time, tm.end_time, tm.amount
      FROM timing tm
     WHERE (veltra_date(args[1]) IS NULL OR tm.tday >= veltra_date(args[1]))
       AND (veltra_date(args[2]) IS NULL OR tm.tday <= veltra_date(args[2]))
       AND (veltra_int(args[6]) IS NULL OR tm.cp_expert = veltra_int(args[6]))
     ORDER BY tm.tday, tm.start_time;
    RETURN c;
  END IF;

  IF key = '1412' THEN
    -- A new image record for listener 6: person code and the original file name.
    person := veltra_int(args[1]);
    IF person IS NULL OR NOT EXISTS (SELECT 1 FROM per p WHERE p.cp = person) THEN
      RETURN veltra_status(c, '0', 'Unknown person');
    END IF;
    INSERT INTO images(cp) VALUES (person) RETURNING id_images INTO new_id;
    UPDATE images SET nfile = person || '_' || new_id ||
                      coalesce(substring(coalesce(args[2], '') FROM '(\.[A-Za-z0-9]{1,5})$'), '.bin')
     WHERE id_images = new_id;
    OPEN c FOR SELECT i.id_images, i.cp, i.nfile FROM images i WHERE i.id_images = new_id;
    RETURN c;
  END IF;

  IF key = '1413' THEN
    -- Listener 6 stored the file of image args[2] for person args[1].
    UPDATE images i SET stored = true,
           path = veltra_bucket(coalesce(veltra_setting('myfiles_path'), ''), i.cp) || '/' || i.nfile
     WHERE i.cp = veltra_int(args[1]) AND i.id_images = veltra_int(args[2]);
    GET DIAGNOSTICS made = ROW_COUNT;
    IF made = 0 THEN
      RETURN veltra_status(c, '0', 'Unknown image');
    END IF;
    RETURN veltra_status(c, '1', 'OK', args[2]);
  END IF;

  RETURN veltra_status(c, '0', 'Unknown request ' || coalesce(key, ''));
END
$$ LANGUAGE plpgsql;

CREATE OR REPLACE FUNCTION _exec_proc(procname text, params text, token text, lucp text)
RETURNS SETOF refcursor AS $$
DECLARE
  c refcursor := 'veltra_result';
  args text[] := veltra_split_list(params);
  user_cp integer;
BEGIN
  -- Requests the service itself sends, with token and user code "0".
  IF procname = '101' THEN
    OPEN c FOR SELECT coalesce((SELECT s.act_tamin_take_token FROM tamin_setting s), false)
                      AS act_tamin_take_token;
    RETURN NEXT c;
    RETURN;
  ELSIF procname = '111' THEN
    OPEN c FOR SELECT s.tamin_auth_api_login_url, s.tamin_client_id, s.tamin_secret,
                      s.tamin_main_url, s.tamin_postquery AS "tamin_PostQuery",
                      s.tamin_prescriptiontypequery AS "tamin_PrescriptionTypeQuery",
                      s.tamin_srvtypequery AS "tamin_srvTypeQuery",
                      s.tamin_srvcodequery AS "tamin_srvCodeQuery",
                      s.tamin_pargrpcodequery AS "tamin_parGrpCodeQuery",
                      s.tamin_drugamntidquery AS "tamin_drugAmntIdQuery"
                 FROM tamin_setting s;
    RETURN NEXT c;
    RETURN;
  ELSIF procname = '1415' THEN
    OPEN c FOR
      SELECT CASE WHEN l.path IS NULL THEN '0' ELSE '1' END AS s_result,
             coalesce(l.path, 'Invalid link') AS s_message, '0'::text AS s_param
        FROM (SELECT 1) one
        LEFT JOIN download_link l ON l.link = args[1] AND l.expires_at > now();
    RETURN NEXT c;
    RETURN;
  ELSIF procname = '1434' THEN
    INSERT INTO caller_report(line_number, number, dial_number) VALUES (args[1], args[2], args[3]);
    RETURN NEXT veltra_status(c, '1', 'OK');
    RETURN;
  ELSIF procname = '1430' THEN
    -- Caller-ID reports of today, for a user named in the list at positions 8 and 9.
    user_cp := veltra_password_user(args[8], args[9]);
    IF user_cp IS NULL OR NOT veltra_may_run(user_cp, 1430) THEN
      RETURN NEXT veltra_status(c, '0', 'Access denied');
      RETURN;
    END IF;
    OPEN c FOR SELECT r.id, r.line_number, r.number, r.dial_number, r.reported_at
                 FROM caller_report r WHERE r.reported_at >= current_date
                ORDER BY r.id DESC LIMIT 200;
    RETURN NEXT c;
    RETURN;
  END IF;

  IF veltra_int(procname) BETWEEN 2351 AND 2386 THEN
    RETURN NEXT veltra_route(c, procname, args, NULL);   -- code lists are public
    RETURN;
  END IF;

  user_cp := veltra_token_user(token, lucp);
  IF user_cp IS NULL THEN
    RETURN NEXT veltra_status(c, '0', 'Invalid token');
    RETURN;
  END IF;
  RETURN NEXT veltra_route(c, procname, args, user_cp);
END
$$ LANGUAGE plpgsql;

-- Listener 2: the caller names itself with user name and password.
CREATE OR REPLACE FUNCTION _exec_proc_w_nu_pw(id text, params text, nu text, pw text)
RETURNS SETOF refcursor AS $$
DECLARE
  c refcursor := 'veltra_result';
  user_cp integer := veltra_password_user(nu, pw);
BEGIN
  IF user_cp IS NULL THEN
    RETURN NEXT veltra_status(c, '0', 'Invalid user name or password');
    RETURN;
  END IF;
  RETURN NEXT veltra_route(c, id, veltra_split_list(params), user_cp);
END
$$ LANGUAGE plpgsql;
