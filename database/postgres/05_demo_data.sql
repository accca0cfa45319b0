-- Demo data: for trying the service on one machine. The demo passwords are in the README;
-- change them before anyone else can reach the service.
SET client_min_messages = warning;

INSERT INTO code_list(list_no, code, name, parent) VALUES
  (2351, '0', 'همه روزها', NULL), (2351, '1', 'دوشنبه', NULL), (2351, '2', 'سه‌شنبه', NULL),
  (2351, '3', 'چهارشنبه', NULL), (2351, '4', 'پنجشنبه', NULL), (2351, '5', 'جمعه', NULL),
  (2351, '6', 'شنبه', NULL), (2351, '7', 'یکشنبه', NULL),
  (2352, '10', 'ویزیت عمومی', NULL), (2352, '20', 'ویزیت تخصصی', NULL), (2352, '30', 'تزریقات', NULL),
  (2371, 'IR', 'ایران', NULL), (2371, 'AF', 'افغانستان', NULL), (2371, 'IQ', 'عراق', NULL),
  (2372, '01', 'تهران', 'IR'), (2372, '02', 'اصفهان', 'IR'), (2372, '03', 'فارس', 'IR'),
  (2372, '20', 'هرات', 'AF'),
  (2373, '0101', 'تهران', '01'), (2373, '0102', 'شمیرانات', '01'), (2373, '0201', 'اصفهان', '02'),
  (2373, '0202', 'کاشان', '02'), (2373, '0301', 'شیراز', '03'),
  (2374, '1', 'مرد', NULL), (2374, '2', 'زن', NULL),
  (2375, '1', 'دیپلم', NULL), (2375, '2', 'کارشناسی', NULL), (2375, '3', 'کارشناسی ارشد', NULL),
  (2375, '4', 'دکترا', NULL),
  (2376, '1', 'مجرد', NULL), (2376, '2', 'متاهل', NULL),
  (2377, '1', 'کارمند', NULL), (2377, '2', 'آزاد', NULL), (2377, '3', 'بازنشسته', NULL),
  (2378, '1', 'اسلام', NULL), (2378, '2', 'مسیحیت', NULL), (2378, '3', 'زرتشتی', NULL),
  (2379, '1', 'درمانگاه مرکزی', NULL), (2379, '2', 'شعبه غرب', NULL),
  (2380, '1', 'مراجعه مستقیم', NULL), (2380, '2', 'ارجاع پزشک', NULL),
  (2381, '1', 'بانک ملی', NULL), (2381, '2', 'بانک ملت', NULL), (2381, '3', 'بانک سپه', NULL),
  (2382, '1', 'بیمار', NULL), (2382, '2', 'پزشک', NULL), (2382, '3', 'کارکنان', NULL),
  (2383, '11', 'بیمار سرپایی', '1'), (2383, '12', 'بیمار بستری', '1'), (2383, '21', 'پزشک عمومی', '2'),
  (2383, '22', 'پزشک متخصص', '2'), (2383, '31', 'پذیرش', '3'),
  (2384, '1', 'تامین اجتماعی', NULL), (2384, '2', 'سلامت', NULL), (2384, '3', 'نیروهای مسلح', NULL),
  (2385, '101', 'کارگری', '1'), (2385, '102', 'خویش‌فرما', '1'), (2385, '201', 'روستایی', '2'),
  (2385, '202', 'همگانی', '2'), (2385, '301', 'ارتش', '3'),
  (2386, '1', 'اینترنت', NULL), (2386, '2', 'دوستان', NULL), (2386, '3', 'تابلو', NULL)
ON CONFLICT (list_no, code) DO NOTHING;

-- Persons 1 to 3 are the demo users, 4 and 5 patients.
INSERT INTO per(cp, np, fname, lname, nid, mobil, c_sex, ccountry, cprovince, ccity, cg) VALUES
  (1, 'مدیر سامانه', 'مدیر', 'سامانه', '0010000001', '09120000001', '1', 'IR', '01', '0101', '3'),
  (2, 'پذیرش', 'زهرا', 'احمدی', '0010000002', '09120000002', '2', 'IR', '01', '0101', '3'),
  (3, 'دکتر رضایی', 'علی', 'رضایی', '0010000003', '09120000003', '1', 'IR', '02', '0201', '2'),
  (4, 'مریم کریمی', 'مریم', 'کریمی', '0010000004', '09120000004', '2', 'IR', '03', '0301', '1'),
  (5, 'حسن محمدی', 'حسن', 'محمدی', '0010000005', '09120000005', '1', 'IR', '01', '0102', '1')
ON CONFLICT (cp) DO NOTHING;
SELECT setval(pg_get_serial_sequence('per', 'cp'), greatest((SELECT max(cp) FROM per), 5));

INSERT INTO users(cp, nu, pw_hash) VALUES
  (1, 'admin', crypt('admin-demo', gen_salt('bf', 8))),
  (2, 'reception', crypt('reception-demo', gen_salt('bf', 8))),
  (3, 'doctor', crypt('doctor-demo', gen_salt('bf', 8)))
ON CONFLICT (cp) DO NOTHING;

-- admin may run everything below 1000 that the demo uses, reception the front desk.
INSERT INTO user_permission(cp, request_no)
  SELECT 1, r FROM unnest(ARRAY[112, 500, 501, 1430]) r
  UNION ALL SELECT 2, r FROM unnest(ARRAY[500, 1430]) r
  UNION ALL SELECT 3, r FROM unnest(ARRAY[112]) r
ON CONFLICT DO NOTHING;

INSERT INTO doc_file(id_file, cp, nfile, pfile, cfile, created_by) VALUES
  (1, 4, 'referral.txt', 'docs', 'SGVsbG8gZnJvbSB0aGUgZGVtbyBjbGluaWMu', 1)
ON CONFLICT (id_file) DO NOTHING;
SELECT setval(pg_get_serial_sequence('doc_file', 'id_file'), greatest((SELECT max(id_file) FROM doc_file), 1));

-- Folders; the demo script sets them to folders beside the executable.
INSERT INTO app_setting(key, value) VALUES
  ('images_folder', '/tmp/veltra-demo/images'),
  ('myfiles_path', '/tmp/veltra-demo/files')
ON CONFLICT (key) DO NOTHING;

-- One image of person 4 and one link to it (the file itself is written by the demo script).
INSERT INTO images(id_images, cp, nfile, path, stored) VALUES
  (1, 4, '4_1.png', (SELECT value FROM app_setting WHERE key = 'images_folder') || '/4_1.png', true)
ON CONFLICT (id_images) DO NOTHING;
SELECT setval(pg_get_serial_sequence('images', 'id_images'), greatest((SELECT max(id_images) FROM images), 1));

INSERT INTO download_link(link, path, expires_at) VALUES
  ('demo-link-4', (SELECT value FROM app_setting WHERE key = 'images_folder') || '/4_1.png',
   now() + interval '10 years')
ON CONFLICT (link) DO NOTHING;

-- The e-prescription switch is off in the demo.
INSERT INTO tamin_setting(id, act_tamin_take_token) VALUES (1, false) ON CONFLICT (id) DO NOTHING;
