-- Helpers shared by the procedures.
SET client_min_messages = warning;

-- Splits a quoted value list ('a','b''c','') into its values; a doubled quote inside a value
-- is one quote. Unquoted items are taken as they stand (trimmed).
CREATE OR REPLACE FUNCTION veltra_split_list(list text) RETURNS text[] AS $$
DECLARE
  result text[] := '{}';
  cur text := '';
  i integer := 1;
  n integer := coalesce(length(list), 0);
  ch text;
  quoted boolean := false;
  in_item boolean := false;
BEGIN
  IF n = 0 THEN RETURN result; END IF;
  WHILE i <= n LOOP
    ch := substr(list, i, 1);
    IF quoted THEN
      IF ch = '''' THEN
        IF i < n AND substr(list, i + 1, 1) = '''' THEN
          cur := cur || ''''; i := i + 1;
        ELSE
          quoted := false;
        END IF;
      ELSE
        cur := cur || ch;
      END IF;
    ELSIF ch = '''' THEN
      quoted := true; in_item := true;
    ELSIF ch = ',' THEN
      result := result || btrim(cur); cur := ''; in_item := false;
    ELSE
      cur := cur || ch; in_item := true;
    END IF;
    i := i + 1;
  END LOOP;
  result := result || btrim(cur);
  RETURN result;
END
$$ LANGUAGE plpgsql IMMUTABLE;

-- Text to integer, NULL when it is not one.
CREATE OR REPLACE FUNCTION veltra_int(v text) RETURNS integer AS $$
BEGIN
  RETURN btrim(v)::integer;
EXCEPTION WHEN others THEN
  RETURN NULL;
END
$$ LANGUAGE plpgsql IMMUTABLE;

-- Text to date: yyyy/MM/dd or yyyy-MM-dd; NULL otherwise.
CREATE OR REPLACE FUNCTION veltra_date(v text) RETURNS date AS $$
BEGIN
  RETURN to_date(replace(btrim(v), '/', '-'), 'YYYY-MM-DD');
EXCEPTION WHEN others THEN
  RETURN NULL;
END
$$ LANGUAGE plpgsql IMMUTABLE;

CREATE OR REPLACE FUNCTION veltra_setting(k text) RETURNS text AS $$
  SELECT value FROM app_setting WHERE key = k
$$ LANGUAGE sql STABLE;

-- The user a token belongs to, when the token is live and issued to `lucp`; NULL otherwise.
CREATE OR REPLACE FUNCTION veltra_token_user(token text, lucp text) RETURNS integer AS $$
  SELECT t.cp FROM user_token t JOIN users u ON u.cp = t.cp
   WHERE t.token = veltra_token_user.token AND t.expires_at > now() AND u.active
     AND t.cp = veltra_int(lucp)
$$ LANGUAGE sql STABLE;

-- The user of a user name and password; NULL when they do not match.
CREATE OR REPLACE FUNCTION veltra_password_user(nu text, pw text) RETURNS integer AS $$
  SELECT u.cp FROM users u
   WHERE u.nu = veltra_password_user.nu AND u.active
     AND u.pw_hash = crypt(coalesce(veltra_password_user.pw, ''), u.pw_hash)
$$ LANGUAGE sql STABLE;

CREATE OR REPLACE FUNCTION veltra_may_run(user_cp integer, request_no integer) RETURNS boolean AS $$
  SELECT EXISTS (SELECT 1 FROM user_permission p
                  WHERE p.cp = user_cp AND p.request_no = veltra_may_run.request_no)
$$ LANGUAGE sql STABLE;

-- Issues a sign-in token valid for twelve hours.
CREATE OR REPLACE FUNCTION veltra_issue_token(user_cp integer) RETURNS text AS $$
DECLARE
  t text := encode(gen_random_bytes(24), 'hex');
BEGIN
  DELETE FROM user_token WHERE expires_at <= now();
  INSERT INTO user_token(token, cp, expires_at) VALUES (t, user_cp, now() + interval '12 hours');
  RETURN t;
END
$$ LANGUAGE plpgsql;
