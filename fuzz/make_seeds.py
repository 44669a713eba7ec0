#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/.

The device seeds are the byte vectors of the TM4040 protocol tables; the
report seeds are the program's own templates; the database seeds are made
with the program's creation script and the indexes it adds at start-up, with
a few rows of every kind. Run it again after the formats change.
"""
import os
import shutil
import sqlite3
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CORPUS = os.path.join(HERE, "corpus")


def target_dir(name):
    path = os.path.join(CORPUS, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write(directory, name, data):
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def hexbytes(text):
    return bytes.fromhex(text.replace(" ", ""))


def bcd(value):
    return ((value // 10 % 10) << 4) | (value % 10)


def record(number, flags, ed, med, when):
    """One 16-byte history record; ed and med as their digit strings' values."""
    year, month, day, hour, minute, second = when
    n = "%03d" % number
    e = "%07d" % ed
    m = "%06d" % med
    nibbles = [int(n[0]), int(n[1]), int(n[2]), flags >> 4, flags & 15, int(e[0])]
    nibbles += [int(c) for c in e[1:]] + [int(c) for c in m]
    head = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 18, 2))
    tail = bytes(bcd(v) for v in (year - 2000, month, day, hour, minute, second))
    return head + tail + b"\x00"


def history_seeds():
    out = target_dir("fuzz_tm4040_history")
    example = hexbytes("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00")
    count = lambda n: struct.pack("<i", n)
    write(out, "example_record", count(1) + example)
    three = b"".join(record(i + 1, 0x80 if i else 0, 1000 * i + 5, 12 + i,
                            (2011, 3, 24, 16, 14, 7 + i)) for i in range(3))
    write(out, "one_packet", count(3) + three)
    write(out, "count_one_of_packet", count(1) + three)
    month13 = record(4, 0x45, 7, 8, (2011, 13, 1, 0, 0, 0))
    write(out, "month_13_ends", count(4) + three + month13 + three[:32])
    unwritten = b"\xff" * 48
    write(out, "unwritten_memory", count(6) + three + unwritten)
    full = b"".join(record(i % 1000, i & 0xFF, i * 37, i * 11,
                           (2009 + i // 400, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (7 * i) % 60))
                    for i in range(501))
    write(out, "full_memory", count(9999) + full)
    write(out, "count_zero", count(0) + three)
    write(out, "count_negative", count(-5) + three)
    write(out, "short_tail", count(3) + three[:40])


def block(clock=(59, 58, 23, 31, 12, 9), alarm=(0x15, 0x06, 1), count=0x0241,
          timing=(1, 2, 3, 0, 10, 0), mode=0x85, serial="40401234", med="123456",
          ed="00015000", firmware=0x3A, dose=100000):
    b = bytearray(56)
    b[0:6] = bytes(bcd(v) for v in clock)
    b[6:9] = bytes(alarm)
    b[9:12] = hexbytes("AA BB CC")
    b[12:20] = struct.pack(">H", count) + hexbytes("00 C0 00 01 00 C0")
    b[20:26] = bytes(bcd(v) for v in timing)
    b[26] = mode
    b[27] = 0xEE
    b[28:32] = hexbytes(serial)
    b[40:43] = hexbytes(med)
    b[43:47] = hexbytes(ed)
    b[47] = firmware
    b[48:52] = struct.pack(">I", dose)
    return bytes(b)


def params_seeds():
    out = target_dir("fuzz_tm4040_params")
    write(out, "sample_block", block())
    # 00:00:00 on 31.12.2009, thresholds 0.35 and 1.5, accumulated 1.0 mSv.
    write(out, "spec_values", block(clock=(0, 0, 0, 31, 12, 9), med="000035", ed="00001500",
                                    dose=0x000186A0, mode=0x00, count=0x0000))
    write(out, "cleared_pointers", block(count=0x0001, mode=0x7F))
    write(out, "impossible_clock", block(clock=(61, 60, 25, 32, 13, 9)))
    write(out, "unwritten", b"\xff" * 56)
    write(out, "zeros", bytes(56))
    write(out, "short_block", block()[:27])
    write(out, "long_block", block() + b"\x00")
    write(out, "raw_thresholds", struct.pack("<dd", 1e300, float("nan")) + block()[16:])


def report_seeds():
    out = target_dir("fuzz_report_template")
    reports = os.path.join(ROOT, "resources", "data", "reports")
    for name in sorted(os.listdir(reports)):
        if name.endswith(".xml"):
            shutil.copy(os.path.join(reports, name), os.path.join(out, name))


EXTRA_INDEXES = [
    "CREATE INDEX IF NOT EXISTS idx_events_user_type_date ON Events (userId, eventType, dateTime)",
    "CREATE INDEX IF NOT EXISTS idx_events_user_date ON Events (userId, dateTime)",
    "CREATE INDEX IF NOT EXISTS idx_events_type_date ON Events (eventType, dateTime)",
]

# A 1x1 PNG, the smallest photo a user can have.
PNG = hexbytes("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
               "0000000d4944415478da63f8cfc0f01f0005000201a3ad8e6a0000000049454e44ae426082")


def make_database(path, page_size=None, version=2, rows=True):
    if os.path.exists(path):
        os.remove(path)
    db = sqlite3.connect(path)
    if page_size:
        db.execute("PRAGMA page_size = %d" % page_size)
    with open(os.path.join(ROOT, "resources", "data", "create_db.sql"), encoding="utf-8-sig") as f:
        script = f.read()
    for statement in script.split(";"):
        if statement.strip():
            db.execute(statement.strip())
    for statement in EXTRA_INDEXES:
        db.execute(statement)
    if rows:
        db.execute("INSERT INTO Users (firstname, middlename, surname, department, birthday, sex,"
                   " photo, access, login, password, deviceId, deviceSerial, assignDate)"
                   " VALUES ('Ann', 'B', 'Cole', 'Lab', '1980-01-02', 2, ?, 3, 'ann', 'pw', 1,"
                   " 40401234, '2011-03-01T08:00:00.000')", (PNG,))
        db.execute("INSERT INTO Users2Groups VALUES (2, 2)")
        db.execute("INSERT INTO Users2Groups VALUES (2, 3)")
        db.execute("INSERT INTO Thresholds (name, channel, period, value, isUser)"
                   " VALUES ('week', 2, 7, 0.5, 1)")
        db.execute("INSERT INTO Thresholds (name, channel, period, value, isUser)"
                   " VALUES ('year', 2, 365, 20, 0)")
        db.execute("INSERT INTO GroupThresholds VALUES (2, 2)")
        events = [("2011-03-01T08:00:00.000", 100, None, None, None)]
        for i in range(6):
            when = "2011-03-%02dT1%d:00:00.000" % (20 + i, i)
            events.append((when, 300 if i % 2 else 200, 0.001 * (i + 1), 0.12, i))
        events.append(("2011-03-26T09:00:00.000", 101, None, None, None))
        for when, kind, value, med, number in events:
            db.execute("INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, eventType,"
                       " value, medValue, channel, eventNumber) VALUES (?, 2, 1, 40401234, ?, ?,"
                       " ?, 2, ?)", (when, kind, value, med, number))
    if version != 2:
        db.execute("UPDATE Service SET version = ?", (version,))
    db.commit()
    db.execute("VACUUM")
    db.close()
    with open(path, "rb") as f:
        return f.read()


def database_seeds():
    out = target_dir("fuzz_database_file")
    temp = os.path.join(out, "temp.db")
    write(out, "fresh_program_database", make_database(temp, rows=False))
    write(out, "with_rows_512", make_database(temp, page_size=512))
    write(out, "version_3_512", make_database(temp, page_size=512, version=3, rows=False))
    os.remove(temp)
    write(out, "empty_file", b"")
    write(out, "not_a_database", "Это не база данных\n".encode("utf-8"))


def irda_fcs(data):
    """The FCS of IrLAP (CRC-CCITT, reflected, from FFFF), complemented."""
    fcs = 0xFFFF
    for byte in data:
        fcs ^= byte
        for _ in range(8):
            fcs = (fcs >> 1) ^ 0x8408 if fcs & 1 else fcs >> 1
    fcs ^= 0xFFFF
    return bytes((fcs & 0xFF, fcs >> 8))


def sir_line(frame):
    body = bytearray()
    for byte in frame + irda_fcs(frame):
        if byte in (0xC0, 0xC1, 0x7D):
            body += bytes((0x7D, byte ^ 0x20))
        else:
            body.append(byte)
    return b"\xC0" + bytes(body) + b"\xC1"


def chain(*frames):
    return b"".join(bytes((len(f),)) + f for f in frames)


def irda_stack_seeds():
    """Frames of the infrared link: a discovery answer as a published frame
    log shows it, and a connected device's answers (UA, the IAS and IrCOMM
    connections, data) as the fuzz target's chain of frames."""
    out = target_dir("fuzz_irda_stack")
    xid = hexbytes("FE BF 01 AB CD 12 34 29 23 BE 84 01 00 00 82 04 00 20 4D 53 50 34 33 30 20")
    write(out, "xid_response_line", b"\xFF" * 10 + sir_line(xid))
    ua = hexbytes("6A 73 D4 C3 B2 A1 44 33 22 11 01 01 3E 83 01 3F 84 01 7F 86 01 80 08 01 07")
    write(out, "ua_line", sir_line(ua))
    write(out, "answers_chain", chain(
        hexbytes("6A 31"),                                      # RR Nr 1, F
        hexbytes("6A 30") + hexbytes("92 00 81 00"),            # I: IAS connect confirm
        hexbytes("6A 52") + hexbytes("12 00 84 00 0001 0001 01 00000005"),
        hexbytes("6A 74") + hexbytes("93 05 81 00 88 04 01 02 0800 03 00 01 04"),
        hexbytes("6A 96") + hexbytes("13 05 01 00") + b"RX3008M" + bytes(49),
        hexbytes("6A 39"),                                      # REJ
        hexbytes("6A 35"),                                      # RNR
        hexbytes("6A 1F"),                                      # DM
    ))
    write(out, "tinytp_sar_chain", chain(
        hexbytes("6A 10") + hexbytes("13 05 81 03 00") + b"abc",
        hexbytes("6A 12") + hexbytes("13 05 01 00") + b"def",
    ))


def irda_record(frame, raw=False, later=False, two=False):
    flags = (1 if raw else 0) | (2 if later else 0) | (4 if two else 0)
    return bytes([flags, len(frame)]) + frame


def irda_seeds():
    """Sessions of a primary station with the emulated dosimeter at 04030201."""
    out = target_dir("fuzz_tm4040emu_irda")
    primary = hexbytes("A1B2C3D4")
    device = hexbytes("01020304")

    def xid(slot):
        return hexbytes("FF3F01") + primary + hexbytes("FFFFFFFF 02") + bytes([slot, 0])

    snrm = (hexbytes("FF93") + primary + device
            + hexbytes("55 01013E 820101 830101 840101 850180 860180 080101"))
    discovery = b"".join(irda_record(xid(slot)) for slot in range(8))
    connect = discovery + irda_record(snrm) + irda_record(hexbytes("5511"))
    ias = (irda_record(hexbytes("5510 80010100"))
           + irda_record(hexbytes("5532 000184 0B") + b"IrDA:IrCOMM" + bytes([0x13])
                         + b"IrDA:TinyTP:LsapSel")
           + irda_record(hexbytes("5554 80010201")))
    comm = irda_record(hexbytes("5556 8B020100 0E 03000104"))
    command = irda_record(hexbytes("5578 0B02 00 00") + b"RX3008Mp")
    history = irda_record(hexbytes("559A 0B02 00 00") + b"RX3008M" + hexbytes("000103") + b"H")
    polls = b"".join(irda_record(bytes([0x55, 0x11 | (nr << 5)])) for nr in range(4, 8))
    write(out, "discovery", discovery)
    write(out, "session", connect + ias + comm + command + history + polls
          + irda_record(hexbytes("5553")))
    write(out, "two_devices", b"".join(irda_record(xid(slot), two=True) for slot in range(8)))
    write(out, "silent_primary", connect + irda_record(hexbytes("5511"), later=True))
    write(out, "noise", irda_record(hexbytes("C0FF7DC1 C0 7D C0 FFFF C1 0102"), raw=True))


if __name__ == "__main__":
    history_seeds()
    params_seeds()
    report_seeds()
    database_seeds()
    irda_seeds()
    irda_stack_seeds()
