#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpora (corpus/<target>/) from hand-built valid inputs. Run it again after a
change of a format; the files it writes are committed, so a run is only needed then."""
import base64
import io
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def text(s, width):
    b = s.encode("latin-1")[:width]
    return b + b"\0" * (width - len(b))


def ip(s):
    return bytes(int(p) for p in s.split("."))


# --- UDP search replies ------------------------------------------------------------------
def moi_reply(body_length):
    b = bytearray(279)
    b[0:4] = b"MO_I"
    b[4:6] = struct.pack("<H", 1)
    b[15:19] = struct.pack("<I", body_length)
    b[23:36] = text("SIMCAM-00001", 13)
    b[36:57] = text("Camera one", 21)
    b[57:61] = ip("192.168.1.20")
    b[61:65] = ip("255.255.255.0")
    b[65:69] = ip("192.168.1.1")
    b[69:73] = ip("8.8.8.8")
    b[77:81] = bytes([1, 2, 3, 4])
    b[81:85] = bytes([5, 6, 7, 8])
    b[85:87] = struct.pack(">H", 81)
    if body_length == 195:
        b[87] = 1
        b[88:153] = text("cam.example.net", 65)
        b[153:218] = text("ddnsuser", 65)
        return bytes(b[:23 + 195])
    return bytes(b[:23 + body_length])


def header_1010(command, carry=0x1234, length=128):
    return bytes([0x10, 0x10]) + struct.pack("<HHH", command, carry, length)


def info_1010():
    b = bytearray(160)
    b[0:8] = header_1010(0x8F12)
    for off, value in ((8, "192.168.1.30"), (24, "255.255.255.0"), (40, "192.168.1.1"),
                       (56, "8.8.8.8"), (72, "8.8.4.4")):
        b[off:off + 16] = text(value, 16)
    b[88:90] = struct.pack("<H", 80)
    b[94:96] = struct.pack("<H", 7)
    b[96:102] = bytes.fromhex("001122334455")
    b[104:111] = bytes.fromhex("0a0b0c0d0e0f10")
    b[111] = 1
    b[112:136] = text("P camera", 24)
    b[136:150] = text("2.0.1.7", 14)
    return bytes(b)


def ddns_1010():
    b = bytearray(400)
    b[0:8] = header_1010(0x8F0F)
    b[96:102] = bytes.fromhex("001122334455")
    b[142:142 + 32] = text("cam.example.net", 32)
    b[272:272 + 32] = text("ddnsuser", 32)
    b[336:336 + 32] = text("ddnspass", 32)
    return bytes(b)


def reply_8600():
    b = bytearray(516)
    b[0:4] = struct.pack("<HH", 0x4844, 0x0801)
    for off, value in ((4, "192.168.1.40"), (20, "255.255.255.0"), (36, "192.168.1.1"),
                       (52, "8.8.8.8"), (68, "8.8.4.4")):
        b[off:off + 16] = text(value, 16)
    b[84:90] = bytes.fromhex("001122334466")
    b[90:92] = struct.pack("<H", 80)
    b[92:124] = text("R730-0001", 32)
    b[124:204] = text("R camera", 80)
    b[204:220] = text("3.1.0.2", 16)
    b[301] = 1
    b[324:388] = text("r.example.net", 64)
    b[452:484] = text("ddnsuser", 32)
    b[484:516] = text("ddnspass", 32)
    return bytes(b)


def settings_reply_8600():
    b = bytearray(328)
    b[0:4] = struct.pack("<HH", 0x4844, 0x0802)
    b[324:328] = struct.pack("<I", 0x8000)
    return bytes(b)


TEXT_REPLY = ("REPLY CTP/1.0 200 OK\r\n-sn K0001\r\n-name K camera\r\n-ip 192.168.1.50\r\n"
              "-netmask 255.255.255.0\r\n-portctp 81\r\n-mdns 8.8.8.8\r\n-sdns 8.8.4.4\r\n"
              "-mac 00:11:22:33:44:77\r\n-gw 192.168.1.1\r\n-ddnsuser u\r\n-ddnspswd p\r\n"
              "-ddns k.example.net\r\n-dhcpen 1\r\n-version V 1.0.2.1 build7\r\n\r\n")

# The replies of each search dialect in a folder named as its row of discovery/search_dialects.cpp
# (DiscoveryDialects.EveryReplyHasASeedAndASimulatedResponder holds every row's parser to them).
write("udp_reply/moi", "moi_195", moi_reply(195))
write("udp_reply/moi", "moi_64", moi_reply(64))
write("udp_reply/ctp", "text_reply", TEXT_REPLY)
hello = bytearray(140)
hello[0:8] = header_1010(0x8F01)
write("udp_reply/1010", "1010_hello", bytes(hello))
write("udp_reply/1010", "1010_info", info_1010())
write("udp_reply/1010", "1010_ddns", ddns_1010())
write("udp_reply/8600", "8600_reply", reply_8600())
# Not a search reply: the answer to the series R settings datagram, which also comes over UDP.
write("udp_reply", "8600_settings_reply", settings_reply_8600())

# --- CTP -----------------------------------------------------------------------------------
write("ctp_search_reply", "reply", TEXT_REPLY)
write("ctp_search_reply", "no_version_tail", "REPLY\r\n-ip 10.0.0.9\r\n-portctp x\r\n-version V 1.0\r\n")
write("ctp_reply", "ok", "REPLY OK\r\n")
write("ctp_reply", "err", "REPLY ERR busy\r\n")
write("ctp_reply", "continue_then_ok", "REPLY Continue 1\r\nREPLY OK\r\n")
write("ctp_reply", "continue_done", "REPLY Continue 0\r\n")
write("ctp_reply", "config_answer", "CTP/1.0 200 OK\r\n\r\n")

KEY = bytes([0x5C, 0xE2, 0x17, 0x9B, 0x04, 0xD8, 0x6F, 0x3A])


def scramble(data):
    return bytes(c ^ KEY[i % 8] for i, c in enumerate(data))


def entry(kind, body):
    return kind + b"\0" * 16 + struct.pack("<i", len(body)) + body


def pk2(entries):
    return b"PK2\0" + b"\0" * 20 + struct.pack("<i", len(entries)) + b"".join(entries)


name = b"app.bin"
data = bytes(range(256)) * 12
file_body = struct.pack("<i", len(name)) + name + struct.pack("<i", len(data)) + scramble(data)
cmd = scramble(b"reboot -f")
write("pk2_package", "file_and_cmd", pk2([entry(b"FILE", file_body), entry(b"CMD ", cmd)]))
write("pk2_package", "skipped_type", pk2([entry(b"NOTE", b"0123456789"), entry(b"CMD ", cmd)]))
write("pk2_package", "empty", pk2([]))

# --- Texts ---------------------------------------------------------------------------------
write("ini", "catalogue", "[SIM100]\r\nSysVer=1.0.0.2\r\nMD5=0123456789abcdef0123456789ABCDEF\r\n"
      "NO=0.9,1.0.0.0\r\nSysFile=fw_P_sys_1.0.0.2.zip\r\n\r\n[1.0.X.1]\r\nSysVer = 1.0.2.1\r\n")
write("ini", "language", "; comment\r\n[Global]\r\norder=1\r\nName_en=English\r\n[StrRes]\r\n"
      "IDS_NOTE = \"$b$bquoted$n\"\r\nids_two='single'\r\nIDS_ESC=a$cb$$t\r\n")
write("ini", "options", "\xef\xbb\xbf[Global]\nlan=en\n[Global]\nlan=cn\n")

write("store", "two_items", b"CLSK\x01" + struct.pack("<I", 2) +
      struct.pack("<I", 2) + b"en" + struct.pack("<I", 11) + b"[StrRes]\r\nA" +
      struct.pack("<I", 2) + b"cn" + struct.pack("<I", 0))
write("store", "empty", b"CLSK\x01" + struct.pack("<I", 0))

write("page_values", "appver", "app_ver\nvar app_model=\"SIM100\";\nvar app_ver=\"v2.1.0.3\";\n")
write("page_values", "status", "sys_ver\nvar sys_ver='1.0.0.1';\nvar app_ver='1.0.0.1';\n"
      "var alias='cam';\n")
write("page_values", "r_params", ".\nvar wifi_enable=1;\nvar wifi_ssid=\"home\";\nvar wifi_mode=0;\n"
      "var wifi_encrypt=1;\nvar wifi_key1='abc';\nvar wifi_key1_bits=0;\n"
      "var wifi_wpa_psk=\"secret\";\nvar ddns_service=11;\nvar ddns_proxy_svr=\"d.example\";\n"
      "var ddns_proxy_port=80;\nvar ddns_user=\"u\";\nvar ddns_pwd=\"p\";\n")

write("wifi_scan", "two", "var ap_number=2;\r\nvar ap_ssid[0]=\"home\";\r\n"
      "var ap_mac[0]=\"00:11:22:33:44:55\";\r\nvar ap_security[0]=3;\r\nvar ap_dbm0[0]='80';\r\n"
      "var ap_dbm1[0]='0';\r\nvar ap_mode[0]=0;\r\nvar ap_ssid[1]=\"office\";\r\n"
      "var ap_dbm0[1]='40';\r\n")
write("wifi_scan", "none", "var ap_number=0;\r\n")

# --- ZIP -----------------------------------------------------------------------------------
def zip_bytes(entries, method=zipfile.ZIP_DEFLATED):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", method) as z:
        for entry_name, content in entries:
            z.writestr(entry_name, content)
    return buffer.getvalue()


write("zip_extract", "one_file", zip_bytes([("fw.bin", b"BNEG" + bytes(600))]))
write("zip_extract", "folders", zip_bytes([("sub/", b""), ("sub/a.txt", b"a"), ("b.bin", b"b")]))
write("zip_extract", "stored", zip_bytes([("fw.pk2", pk2([]))], zipfile.ZIP_STORED))
write("zip_extract", "evil", zip_bytes([("fw.bin", b"x"), ("../evil.bin", b"y")]))

# --- Texts shown ---------------------------------------------------------------------------
write("shown_text", "escapes", b"cam\x1b[2J\x1b]0;title\x07\rX\xc2\x9b31m\x9b32m\x7f\n\t")
write("shown_text", "urls", "refused: https://user:pw@repo.example:8443/FM/system/firmware.txt.sig"
      " and http://a@b/ and http://h/?x=a@b")
write("shown_text", "cjk", "\xe5\x89\x8d\xe9\x97\xa8 \xc2\xa0 192.168.1.20".encode("latin-1"))

# --- Repository keys (repository_keys of the options) ---------------------------------------
# The seeds' signing key: the private key is the bytes 1..32 (fuzz/targets/catalogue_signature.cpp
# holds its public half). Needs python3-cryptography, only to write the seeds again.
def signing_key():
    from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey
    return Ed25519PrivateKey.from_private_bytes(bytes(range(1, 33)))


def public_raw(key):
    from cryptography.hazmat.primitives import serialization
    return key.public_key().public_bytes(serialization.Encoding.Raw,
                                         serialization.PublicFormat.Raw)


SPKI_PREFIX = bytes.fromhex("302a300506032b6570032100")
KEY = signing_key()
RAW_B64 = base64.b64encode(public_raw(KEY)).decode()
PEM_BODY = base64.b64encode(SPKI_PREFIX + public_raw(KEY)).decode()
write("repository_keys", "raw", RAW_B64)
write("repository_keys", "pem_body", PEM_BODY)
write("repository_keys", "list", RAW_B64 + ", " + PEM_BODY + ";\t" + RAW_B64[:20] + " not-a-key\r\n")

# --- Catalogue signature -------------------------------------------------------------------
CATALOGUE = ("[P100]\r\nSysVer=2.0.0.1\r\nSysFile=fw_P_sys_2.0.0.1.zip\r\n"
             "MD5=0123456789abcdef0123456789abcdef\r\n").encode()


def signed(catalogue, signature):
    return struct.pack("<H", len(signature)) + signature + catalogue


# What is signed: the catalogue's place below the repository and its bytes (the target checks
# the place "system/firmware.txt").
def sign_system(catalogue):
    return KEY.sign(b"camlift catalogue\nsystem/firmware.txt\n" + catalogue)


write("catalogue_signature", "valid", signed(CATALOGUE, sign_system(CATALOGUE)))
write("catalogue_signature", "valid_empty", signed(b"", sign_system(b"")))
write("catalogue_signature", "unsigned", signed(CATALOGUE, b""))
write("catalogue_signature", "short", signed(CATALOGUE, sign_system(CATALOGUE)[:63]))
write("catalogue_signature", "other_folder",
      signed(CATALOGUE, KEY.sign(b"camlift catalogue\nacme/firmware.txt\n" + CATALOGUE)))

# --- History (history.jsonl) ---------------------------------------------------------------
HISTORY_LINE = ('{"time":"2026-12-10T13:21:28Z","source":"batch","ip":"127.0.0.5","port":8081,'
                '"series":"P","model":"P100","versionBefore":"2.0.0.0","versionAfter":"2.0.0.1",'
                '"firmwareFile":"fw_P_sys_2.0.0.1.zip",'
                '"archiveMd5":"0123456789abcdef0123456789abcdef","result":"ok",'
                '"reason":"The camera now runs the version:2.0.0.1",'
                '"log":"/data/logs/127.0.0.5-20261210.log"}\n')
write("history", "two_records", HISTORY_LINE + HISTORY_LINE.replace("127.0.0.5", "127.0.0.6")
      .replace('"ok"', '"failed"'))
write("history", "cut_and_junk", 'rsion":"2.0.0.1"}\n' + HISTORY_LINE + "not json\n{}\n"
      '{"time":"2026-12-11T08:00:00Z","ip":"127.0.0.7","port":4294967377,'
      '"model":"\\u001b[31mred"}')

# --- Batch summary (--resume) ----------------------------------------------------------------
write("batch_summary", "summary", """[
  {
    "camera": "127.0.0.2:8081", "ip": "127.0.0.2", "port": 8081, "series": "M",
    "oldVersion": "1.2.3.4", "catalogueVersion": "1.2.3.5", "reportedVersion": "1.2.3.5",
    "result": "ok", "reason": "", "log": "/data/logs/127.0.0.2.log"
  },
  {"camera": "127.0.0.3:8081", "ip": "127.0.0.3", "port": 8081, "series": "P", "result": "failed"},
  {"ip": "127.0.0.4", "port": 8081, "series": "R", "result": "ok"},
  {"ip": "127.0.0.4", "port": 8081, "series": "R", "result": "cancelled"},
  {"ip": "127.0.0.5", "port": "81", "series": "K", "result": "ok"}
]
""")
write("batch_summary", "not_a_list", '{"ip": "127.0.0.2"}')

# --- Camera lists (--from) -------------------------------------------------------------------
write("camera_list", "csv", "ip,port,series,user,password\r\n# the hall\r\n"
      "127.0.0.2,8081,M,root,secret\r\n127.0.0.3, 81 ,p\r\n127.0.0.4,80,K,,\r\n"
      "127.0.0.2,8081,P\r\n127.0.0.9,70000,R\r\n")
write("camera_list", "json", '{"type":"R","series":"R","ip":"127.0.0.9","port":8081,"name":"Yard"}\n'
      '{"type":"P","series":"","ip":"127.0.0.10","port":81}\n'
      '{"series":"M","ip":"127.0.0.11"}\n{"series":"M","ip":"127.0.0.12","port":8081.5}\n')

# --- Options (system-wide defaults, NUL, the user's file) ------------------------------------
write("options", "both", "; site defaults\r\n[Global]\r\nrepository=http://firmware.example.net/FM\r\n"
      "repository_keys=" + RAW_B64 + "\r\nlan=b5\r\n\0[global]\r\nLAN = cn \r\n"
      "repository_keys=\r\nrepository_ca=/site/ca.pem\r\n")
write("options", "user_only", "[Global]\nrepository='https://10.0.0.1/FM/'\n"
      "repository_keys=" + PEM_BODY + ",,x\n")
