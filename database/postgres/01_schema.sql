-- Veltra reference clinic database for PostgreSQL 15: tables.
-- Every file of this folder is applied in name order and may be applied again.
SET client_min_messages = warning;
CREATE EXTENSION IF NOT EXISTS pgcrypto;

-- Settings the procedures need that only the database knows (image folder, file root).
CREATE TABLE IF NOT EXISTS app_setting (
  key   text PRIMARY KEY,
  value text NOT NULL
);

-- Persons: patients, experts and staff. Users are persons with a user name.
CREATE TABLE IF NOT EXISTS per (
  cp           serial PRIMARY KEY,
  np           text,          -- display name
  nid          text, unid text, rnid text, fnid text, eid text,
  fname        text, lname text, father text,
  mobil        text, tel text, fax text, email text, web text,
  addr1        text, pocd1 text, addr2 text, pocd2 text,
  ccountry     text, cprovince text, ccity text,
  sdate        text, edate text, bdate text, mdate text,
  c_sex        text, c_edu text, c_mar text, c_job text, c_rel text, c_ser_loc text,
  c_rff        text, c_bnk text, c_intro text,
  foreigners   text, legal text, cg text, cgs text,
  c_insura     text, c_insura_sub text, insura_num text, bank_acc text, descr text,
  created_by   integer,
  created_at   timestamp NOT NULL DEFAULT now(),
  updated_by   integer,
  updated_at   timestamp
);

CREATE TABLE IF NOT EXISTS users (
  cp       integer PRIMARY KEY REFERENCES per(cp),
  nu       text NOT NULL UNIQUE,
  pw_hash  text NOT NULL,       -- crypt() with a bcrypt salt
  active   boolean NOT NULL DEFAULT true
);

-- Sign-in tokens issued by the sign-in procedures; checked by the dispatchers.
CREATE TABLE IF NOT EXISTS user_token (
  token      text PRIMARY KEY,
  cp         integer NOT NULL REFERENCES users(cp),
  expires_at timestamp NOT NULL
);

-- Request numbers a user may run.
CREATE TABLE IF NOT EXISTS user_permission (
  cp         integer NOT NULL REFERENCES users(cp),
  request_no integer NOT NULL,
  PRIMARY KEY (cp, request_no)
);

-- The eighteen code lists, one table: list number, code, Persian name, parent code.
CREATE TABLE IF NOT EXISTS code_list (
  list_no integer NOT NULL,
  code    text NOT NULL,
  name    text NOT NULL,
  parent  text,
  PRIMARY KEY (list_no, code)
);

-- Timings of experts (request 2340).
CREATE TABLE IF NOT EXISTS timing (
  id_timing  serial PRIMARY KEY,
  cp_expert  integer NOT NULL,
  cs         text,
  tday       date NOT NULL,
  start_time time NOT NULL,
  end_time   time NOT NULL,
  amount     text,
  created_by integer
);

-- Documents stored as text (usually Base64 of the file).
CREATE TABLE IF NOT EXISTS doc_file (
  id_file    serial PRIMARY KEY,
  cp         integer NOT NULL REFERENCES per(cp),
  nfile      text,
  pfile      text,
  cfile      text,
  created_by integer,
  updated_at timestamp
);

-- Images on disk; the database keeps where they are.
CREATE TABLE IF NOT EXISTS images (
  id_images  serial PRIMARY KEY,
  cp         integer NOT NULL,
  nfile      text,
  path       text,         -- full path of the stored file, once stored
  stored     boolean NOT NULL DEFAULT false,
  created_at timestamp NOT NULL DEFAULT now()
);

-- Download links resolved by request 1415.
CREATE TABLE IF NOT EXISTS download_link (
  link       text PRIMARY KEY,
  path       text NOT NULL,
  expires_at timestamp NOT NULL
);

-- Caller-ID reports (request 1434).
CREATE TABLE IF NOT EXISTS caller_report (
  id          serial PRIMARY KEY,
  line_number text,
  number      text,
  dial_number text,
  reported_at timestamp NOT NULL DEFAULT now()
);

-- E-prescription switch and settings (requests 101 and 111), one row.
CREATE TABLE IF NOT EXISTS tamin_setting (
  id                          integer PRIMARY KEY DEFAULT 1 CHECK (id = 1),
  act_tamin_take_token        boolean NOT NULL DEFAULT false,
  tamin_auth_api_login_url    text,
  tamin_client_id             text,
  tamin_secret                text,
  tamin_main_url              text,
  tamin_PostQuery             text,
  tamin_PrescriptionTypeQuery text,
  tamin_srvTypeQuery          text,
  tamin_srvCodeQuery          text,
  tamin_parGrpCodeQuery       text,
  tamin_drugAmntIdQuery       text
);
