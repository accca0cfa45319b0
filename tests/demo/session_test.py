"""A front-end's session through the daemon on the reference database."""
import base64
import json
import os
import sys
import unittest
import urllib.parse
import urllib.request

BASE = int(sys.argv[1])
DIR = sys.argv[2]


def url(listener, rest="/"):
    return f"http://127.0.0.1:{BASE + listener}{rest}"


def split(x):
    return x[1::2] + x[0::2]


def join(y):
    a, b = y[: len(y) // 2], y[len(y) // 2:]
    out = []
    for i in range(len(b)):
        out.append(b[i])
        if i < len(a):
            out.append(a[i])
    return "".join(out)


def encode(text):  # coding mode 2
    return split(split(base64.b64encode(text.strip().encode()).decode()))


def decode(text):
    return base64.b64decode(join(join(text))).decode().strip()


def http(method, target, body=None, headers=None):
    req = urllib.request.Request(target, data=body, method=method, headers=headers or {})
    with urllib.request.urlopen(req, timeout=30) as r:
        return r.status, r.headers, r.read()


def coded(fields):
    """POSTs coded name=value lines to listener 1; returns the decoded answer."""
    text = "\r\n".join(f"{k}={v}" for k, v in fields.items())
    body = urllib.parse.quote(encode(text), safe="").encode()
    status, headers, answer = http("POST", url(1), body,
                                   {"Content-Type": "application/x-www-form-urlencoded"})
    assert status == 200
    assert headers["Content-Type"] == "application/json; charset=ASCII", headers["Content-Type"]
    return decode(answer.decode("ascii"))


class Session(unittest.TestCase):
    token = None

    def login(self):
        if Session.token is None:
            answer = json.loads(coded({"id": "1112", "username": "admin", "password": "admin-demo"}))
            row = answer["Data"][0]
            self.assertEqual(row["s_result"], "1")
            Session.token = row["token"]
        return {"Login_User_Token": Session.token, "Login_User_cp": "1"}

    def test_01_sign_in_refused_with_a_wrong_password(self):
        answer = json.loads(coded({"id": "1112", "username": "admin", "password": "nope"}))
        self.assertEqual(answer["Data"][0]["s_result"], "0")
        self.assertEqual(coded({"id": "1111", "username": "admin", "password": "admin-demo"}), "1")
        self.assertEqual(coded({"id": "1111", "username": "admin", "password": "x"}), "-1")

    def test_02_lists_persons(self):
        self.login()
        rows = json.loads(coded({"id": "2221"}))["Data"]
        self.assertIn("مریم کریمی", [r["np"] for r in rows])
        rows = json.loads(coded({"id": "1"}))["Data"]
        self.assertEqual(set(rows[0]), {"cp", "np"})

    def test_03_registers_and_reads_back_a_person(self):
        auth = self.login()
        fields = {"id": "2227", "np": "سارا نوری", "fname": "سارا", "lname": "نوری",
                  "mobil": "09121111111", "ccountry": "IR", "nu": "sara", "pw_1": "s3cret",
                  "pw_2": "s3cret"}
        row = json.loads(coded(fields))["Data"][0]
        self.assertEqual(row["s_result"], "1", row)
        cp = row["s_param"]
        person = json.loads(coded({"id": "2472", "cp": cp, **auth}))["Data"][0]
        self.assertEqual(person["np"], "سارا نوری")
        self.assertEqual(person["mobil"], "09121111111")
        # The new account signs in.
        self.assertEqual(coded({"id": "1111", "username": "sara", "password": "s3cret"}), cp)

    def test_04_permission_check(self):
        auth = self.login()
        self.assertEqual(json.loads(coded({"id": "500", **auth}))["Data"][0]["s_message"],
                         "OK  500")
        refused = json.loads(coded({"id": "600", **auth}))["Data"][0]
        self.assertEqual(refused["s_result"], "0")

    def test_05_stores_and_reads_a_document(self):
        auth = self.login()
        content = base64.b64encode(b"scan \x00\x01 bytes").decode()
        row = json.loads(coded({"id": "2701", "cp": "4", "nfile": "scan.bin", "pfile": "docs",
                                "cfile": content, **auth}))["Data"][0]
        self.assertEqual(row["s_result"], "1", row)
        self.assertEqual(coded({"id": "2706", "id_file": row["s_param"], **auth}), content)
        # Listener 2 reads the same document uncoded.
        q = urllib.parse.urlencode({"id": "2706", "id_file": row["s_param"], **auth})
        status, _, body = http("POST", url(2), q.encode(),
                               {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(body.decode(), content)

    def test_06_uploads_an_image_and_fetches_it(self):
        payload = bytes(range(256)) + b"\r\n--not-a-boundary\r\n" + b"\x00" * 10
        boundary = "----veltra-session"
        body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"CP\"\r\n\r\n5\r\n"
                f"--{boundary}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"x.jpg\"\r\n"
                "Content-Type: image/jpeg\r\n\r\n").encode() + payload + f"\r\n--{boundary}--\r\n".encode()
        status, headers, answer = http("POST", url(3), body,
                                       {"Content-Type": f"multipart/form-data; boundary={boundary}"})
        self.assertEqual(answer, b"<HTML><BODY><B>200 OK</B></BODY></HTML>")
        stored = [f for f in os.listdir(os.path.join(DIR, "images")) if f.startswith("5_")]
        self.assertEqual(len(stored), 1)
        id_images = stored[0].split("_")[1].split(".")[0]
        status, headers, answer = http("GET", url(4, f"/?cp=5&id_images={id_images}&lucp=1"))
        self.assertEqual(headers["Access-Control-Allow-Origin"], "*")
        self.assertEqual(base64.b64decode(answer), payload)

    def test_07_resolves_a_link(self):
        status, headers, body = http("GET", url(7, "/demo-link-4"))
        self.assertEqual(headers["Content-Type"], "image/png")
        self.assertTrue(body.startswith(b"\x89PNG"))
        status, headers, body = http("GET", url(7, "/no-such-link"))
        self.assertIn(b"invalid link", body)

    def test_08_reports_a_call_and_lists_it(self):
        status, _, body = http("GET", url(5, "/?LineNumber=3&Number=09125550000&DialNumber=100"))
        self.assertIn(b"<TD>1</TD><TD>OK</TD>", body)
        params = urllib.parse.quote("'1','2','3','4','5','6','7','reception','reception-demo','11','0'")
        status, _, body = http("GET", url(5, f"/?id=1430&params={params}&token=0&lucp=0"))
        self.assertIn("<TD>09125550000</TD>".encode(), body)
        self.assertTrue(body.decode().startswith("<Table style="))

    def test_09_typed_rows_from_listener_6(self):
        status, headers, body = http("POST", url(6), b"API=2372&Sp_params=%27IR%27",
                                     {"Content-Type": "application/x-www-form-urlencoded"})
        rows = json.loads(body.decode())
        self.assertEqual(headers["Access-Control-Allow-Origin"], "*")
        self.assertIn({"code": "01", "name": "تهران", "parent": "IR"}, rows)

    def test_10_code_list_and_timings(self):
        auth = self.login()
        rows = json.loads(coded({"id": "2373", "cprovince": "02"}))["Data"]
        self.assertEqual({r["code"] for r in rows}, {"0201", "0202"})
        row = json.loads(coded({"id": "2340", "fday": "2030/01/01", "tday": "2030/01/02",
                                "StartTime": " 08:00 ", "EndTime": "10:00", "amount": "5",
                                "c_week": "0", "cp_expert": "3", "cs": "10", "time_count": "2",
                                **auth}))["Data"][0]
        self.assertEqual((row["s_result"], row["s_param"]), ("1", "4"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
