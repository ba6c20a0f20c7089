#!/usr/bin/env python3
"""Writes the MIR test files of tests/data and what each must interpret to.

For every scenario NAME this writes NAME.mir (Latin-1 bytes, as a ticketing
queue would drop them) and NAME.expected.json (the verdict, Cpnid,
Cpnid2Source and booking tree that `kesto parse` must print for it, without
the "file" key). The expected values are written down by hand in the
scenarios below, not computed by the interpreter's rules.

The files are laid out as real MIR files carry them (the header's five lines
of 80, 63, 96, 51 and 48 characters, the ticketing command on line 4, the
sections with their fields where real files hold them). The header is one
record of 343 characters that holds CRs of its own at characters 81, 145,
242, 294 and 343; an empty line follows, so in the interpreter's text (every
line end one CR) the section lines start at character 345. The declared
length (header columns 11-15) is the length of that text minus 1, whichever
of CR, LF or CR LF ends the lines in the file.

Run from anywhere: python3 tests/data/make_mir.py
"""

import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER_CRS = (81, 145, 242, 294, 343)


def place(fields, width=0):
    """A line with each text placed at its 1-based column, blanks between."""
    line = [" "] * width
    for column, text in fields.items():
        end = column - 1 + len(text)
        if len(line) < end:
            line.extend(" " * (end - len(line)))
        line[column - 1:end] = list(text)
    return "".join(line)


def header(rloc, seq="00001", created="07DEC26 1035", carrier="CI",
           numeric="297", travel="15JAN27", commission="0700",
           cpnid2="K4TR7QW2X9MAB01", command="H", exchange="N"):
    """A 343-character header laid out as real files carry it: five lines of
    80, 63, 96, 51 and 48 characters. The declared size (columns 11-15) and
    the section counts of line 5 are filled in by mir_text()."""
    indicators = "NNNNN" + "0" + exchange + "NNAY" + command + " NNNX"
    fields = {
        # line 1: id, routing, declared size, sequence, date and time,
        # airline code and number, airline name, date of first travel
        1: "T5", 3: "1G773392", 11: "?????", 16: seq, 21: created,
        33: carrier, 35: numeric, 38: "CHINA AIRLINES".ljust(24), 62: travel,
        69: "BB644FE761E4",
        # line 2: booking and ticketing pseudo-city, IATA number, record
        # locator, agent signs and duty code
        82: "K4TR", 86: "K4TR", 90: "34212345 ", 99: rloc, 118: "QW",
        119: "N", 121: "ZZ", 123: "AG", 125: "07DEC2600007DEC26021",
        # line 3: fare currency and amount, decimals, tax currency, tax
        # amounts, commission amount and rate, tour code
        146: "TWD", 149: "000001500000", 161: "2", 162: "TWD",
        165: "00000000  " * 5, 215: "00000000", 223: commission, 227: cpnid2,
        # line 4: the indicators; the 7th says exchange, the 12th is the
        # ticketing command
        243: indicators, 260: "   TW",
        # line 5: the section counts, put in by mir_text()
        295: "?" * 48,
    }
    text = list(place(fields, 343))
    for column in HEADER_CRS:
        text[column - 1] = "\r"
    return "".join(text)


def section_counts(sections):
    """Line 5: three digits for each kind of section, passengers at its
    7th column, air segments at the 13th, fares at the 22nd, exchange items
    at the 25th and forms of payment at the 28th."""
    def count(*codes):
        return "%03d" % sum(1 for line in sections
                            if line.strip(" ")[:3] in codes)
    return ("000" + "000" + count("A02") + "000" + count("A04", "A05") + "000"
            + "000" + count("A07") + count("A10") + count("A11") + "000" * 6)


def mir_text(head, sections, form_feed=True):
    """The interpreter's text: header, its line end, sections, a form feed line."""
    if head[293] == "\r" and head[294:342] == "?" * 48:
        head = head[:294] + section_counts(sections) + head[342:]
    lines = list(sections) + (["\f"] if form_feed else [])
    body = head + "\r" + "".join(line + "\r" for line in lines)
    declared = "%05d" % (len(body) - 1)
    return body[:10] + declared + body[15:]


def encode(text, line_end="cr", last_line_end=True):
    """File bytes for a text: each CR as the given line end."""
    if not last_line_end:
        text = text[:-1]
    ends = {"cr": "\r", "lf": "\n", "crlf": "\r\n"}
    return text.replace("\r", ends[line_end]).encode("latin-1")


def check_digit(number):
    """A document number's check digit: its remainder by 7."""
    return str(int(number) % 7)


def amount(value):
    """A decimal amount as the sections carry it, two decimals."""
    return "%.2f" % value


# ---- section lines, as real files lay them out -----------------------------

def a02(name, ticket, count="01", passenger_type="ADT", fare_item="01",
        exchange_item="  "):
    """Passenger: 80 characters; the ticket serial at column 49."""
    return place({1: "A02", 4: name.ljust(33), 37: "00000000000", 48: "6",
                  49: ticket.ljust(10), 59: count, 61: " " * 9,
                  70: passenger_type.ljust(6), 76: fare_item, 78: exchange_item,
                  80: "N"})


def a04(index, carrier, flight, cls, date, dep, arr, nxdt, orig, dest,
        stop, section="A04"):
    stop_column = 85 if section == "A04" else 83
    return place({1: section, 4: index, 6: carrier, 8: "SKYLINE AIR ",
                  23: flight, 27: cls, 29: "OK", 31: date, 36: dep, 41: arr,
                  46: nxdt, 47: orig, 50: "TAIPEI       ", 63: dest,
                  66: "TOKYO NARITA ", 79: "20K", 82: "1",
                  stop_column: stop, 90: "0"})


def a07(base, tax1, tax2, tax3, total=None, codes=("TW", "YQ", "YR")):
    """Fare section 01: base, total per passenger and three tax boxes."""
    if total is None:
        total = amount(sum(float(v) for v in (base, tax1, tax2, tax3)))
    return place({1: "A07", 4: "01", 6: "TWD", 9: base.rjust(12), 21: "TWD",
                  24: total.rjust(12), 36: "   ", 39: " " * 12, 51: "TWD",
                  54: "T1:", 57: tax1.rjust(8), 65: codes[0],
                  67: "T2:", 70: tax2.rjust(8), 78: codes[1],
                  80: "T3:", 83: tax3.rjust(8), 91: codes[2]})


def voided_fare(total):
    """A void's fare: no base and no taxes, the total it voids."""
    return place({1: "A07", 4: "01", 6: "TWD", 21: "TWD", 24: total.rjust(12)})


def a08(cpnid):
    return place({1: "A08", 4: "01", 6: "FC", 8: cpnid, 16: "TPE CI TYO"})


def a10(original, issued="01DEC26", total="000000150000"):
    """Exchange item 01: the item line, one TI: line for the book given in,
    and the amounts line with the original's total at column 84."""
    return [place({1: "A10", 4: "01", 6: issued, 13: "TPE     ", 80: "A"}),
            "TI:" + original + check_digit(original) + "1234",
            place({1: "TWD", 4: "000000140000", 84: total})]


def a11(kind, value):
    return place({1: "A11", 4: kind, 6: value.rjust(12), 18: "N"})


def a14(key, value, kind="FT-"):
    return place({1: "A14", 4: kind, 7: key.ljust(10), 19: value})


def vl(carrier, locator):
    return place({1: "A14", 4: "VL-", 7: "CRS LOCATOR ", 19: "  ",
                  21: carrier, 23: locator, 29: " 07DEC"})


def a21(net):
    return place({1: "A21", 4: "01", 7: net.rjust(12), 19: "NET"})


def a23(document, passenger, base, taxes, penalty, fare_used):
    """Refund of one document: the A23 line and its BF:, PF: and RA: lines.
    The total refunded is base - fare used + taxes - penalty."""
    total = amount(float(base) - float(fare_used) - float(penalty)
                   + sum(float(value) for value, _ in taxes))
    boxes = "".join("T%d:%s%s" % (n + 1, value.rjust(8), code)
                    for n, (value, code) in enumerate(taxes))
    return [place({1: "A23", 4: document + check_digit(document), 18: "-",
                   33: "01DEC26", 49: passenger}),
            "TI:1234",
            "BF:TWD" + base.rjust(8) + boxes,
            "PF:" + penalty.rjust(8),
            "RA:" + fare_used.rjust(8) + total.rjust(8) + "0.00".rjust(8)
            + "0.00".rjust(8) + "TWD" + total.rjust(8)]


def a29(name, number, total, related):
    """An EMD: the 193-character A29 line and its ED- line."""
    return [place({1: "A29", 4: "01", 6: "01", 8: "BGGE", 13: "A", 14: "C",
                   15: name.ljust(55), 70: number, 96: "CI", 98: "TWD",
                   101: total.rjust(12), 143: "TWD", 146: total.rjust(12)},
                  193),
            "ED-/RL-" + related + "/ER-NONREF"]


# Sections the interpreter skips, as they appear between the known ones.
A09 = place({1: "A09", 4: "1", 5: "TPE CI TYO 15000.00 NUC 468.75 END ROE32.0"})
A10 = a10("2971111100001")
A11 = a11("CA", "15600.00")
A12 = place({1: "A12", 4: "TPE", 7: "T", 9: "02-2555-0100 TRAVEL DESK"})
A23 = a23("2971111100001", "LIN/MEIHUA MS", "15000.00", [("500.00", "TW")],
          "0.00", "0.00")
# An "A08" line that ends before column 8 gives no Cpnid.
SHORT_A08 = "A0801FC"
A29 = a29("LIN/MEIHUA MS", "2975555500001", "1500.00", "2971234567001")


# ---- expected trees ----------------------------------------------------------

PAX_KEYS = ["PAX_NM", "TKT_NO", "TKT_CJ", "TKT_AMS", "TKT_NET", "TKT_TAX",
            "TKT_NO1", "TKT_CJ1", "TKT_NO2", "TKT_CJ2", "TKT_NO3", "TKT_CJ3",
            "TKT_NO4", "TKT_CJ4", "TKT_NO5", "TKT_CJ5"]
ITN_KEYS = ["ITN_IDX", "CARR_CD", "FLT_NO", "TKT_CLS", "TKT_ST", "DEP_DT",
            "DEP_TM", "ARR_TM", "NXDT_FG", "ORIG_CT", "DEST_CT", "STOP_OV"]


def pax(name, ticket, **values):
    out = dict.fromkeys(PAX_KEYS, "")
    out.update(PAX_NM=name.ljust(33), TKT_NO=ticket, **values)
    return out


def itn(index, carrier, flight, cls, date, dep, arr, nxdt, orig, dest, stop):
    """A segment as a04() writes it (status always "OK")."""
    return dict(zip(ITN_KEYS, [index, carrier, flight, cls, "OK", date, dep,
                               arr, nxdt, orig, dest, stop]))


def crls(locator, *carriers):
    return [{"CARR_CD": c, "RLOC_CD": locator} for c in carriers]


def pnr(rloc, seq="00001", created="07DEC26 1035", carrier="CI",
        numeric="297", travel="15JAN27", commission="0700", base="",
        net="", taxes="", paxs=(), itns=(), locators=()):
    return {"RLOC_CD": rloc, "SEQ_NO": seq, "CRAT_DM": created,
            "NUM_CDE": numeric, "CARR_CD": carrier, "TRVL_DT": travel,
            "COMM_RT": commission, "BASE_AM": base, "TKT_NETB": net,
            "TAX_AMB": taxes, "PAXS": list(paxs), "ITNS": list(itns),
            "CRLS": list(locators)}


def interpreted(cpnid, tree, cpnid2="K4TR7QW2X9MAB01"):
    return {"verdict": "interpreted", "cpnid": cpnid, "cpnid2Source": cpnid2,
            "pnr": tree}


# ---- scenarios -------------------------------------------------------------

def ticketed():
    """A ticketed booking with two passengers and three segments."""
    sections = [
        a02("LIN/MEIHUA MS", "2971234567", "01"),
        a02("CHEN/JIANHONG MR", "2971234598", "03"),
        A09,
        a04("01", "CI", "0100", "Y ", "15JAN", "0930 ", "1410 ", "0", "TPE",
            "NRT", "O"),
        a04("02", "CI", "12  ", "Y ", "20JAN", "1600 ", "1915 ", "0", "NRT",
            "TPE", "X"),
        a04("03", "BR", "867 ", "M ", "22JAN", "2330 ", "0150 ", "1", "TPE",
            "HKG", "O", section="A05"),
        *A10,
        a07("15000.00", "500.00", "1234.50", "12.50"),
        A11,
        SHORT_A08,
        a08("88421907"),
        a08("55550000"),
        A12,
        a14("SELL PRICE", "1*16800.00"),
        a14("SELL PRICE", "2*16800.50"),
        a14("**NET FARE", "1*13500"),
        a14("**APT TAX1", "1*300"),
        a14("**APT TAX2", "1*200.5"),
        a14("****TKNO-1", "2*2979876543210XX"),
        vl("1A", "8KQ2ZL"),
        *A23,
        vl("CA", "NX4TRE"),
        vl("BR", "QWE9RT"),
        *A29,
        a21("13999.49"),
    ]
    tree = pnr(
        "TPEK4T", base="15000", net="13999", taxes="1746",
        paxs=[pax("LIN/MEIHUA MS", "2971234567", TKT_AMS="16800",
                  TKT_NET="13500", TKT_TAX="500"),
              pax("CHEN/JIANHONG MR", "2971234598", TKT_CJ="00",
                  TKT_AMS="16800", TKT_NO1="2979876543210")],
        itns=[itn("01", "CI", "0100", "Y ", "15JAN", "0930 ", "1410 ", "0",
                  "TPE", "NRT", "O"),
              itn("02", "CI", "012", "Y ", "20JAN", "1600 ", "1915 ", "0",
                  "NRT", "TPE", "X"),
              itn("03", "BR", "867 ", "M ", "22JAN", "2330 ", "0150 ", "1",
                  "TPE", "HKG", "O")],
        locators=crls("8KQ2ZL", "1A", "AF", "BD", "IB", "LA", "LH", "OS", "RG")
        + crls("NX4TRE", "CA", "CZ", "FM", "MU", "NX")
        + crls("QWE9RT", "BR"))
    return mir_text(header("TPEK4T"), sections), interpreted("88421907", tree)


def void():
    """A voided ticket: the record locator is ZZZZZZ, and the fare line
    gives the total voided."""
    sections = [a02("WANG/XIAOMING MR", "2970000111", "01"), A09,
                voided_fare("15600.00"), a08("00000001")]
    tree = pnr("ZZZZZZ", seq="00007", base="0", taxes="0",
               paxs=[pax("WANG/XIAOMING MR", "2970000111")])
    text = mir_text(header("ZZZZZZ", seq="00007", command="V"), sections)
    return text, interpreted("00000001", tree)


def refund():
    """A refund record, also under ZZZZZZ, with its negative amounts; A23
    names the refunded document and RA: the total refunded, 8602.50."""
    sections = [a02("HUANG/SHUFEN MRS", "2970000222", "02"),
                a07("-8800.50", "-300", "-0.5", "-1.5", total=""), A11,
                *a23("2972970000222", "HUANG/SHUFEN MRS", "8800.50",
                     [("300.00", "TW"), ("0.50", "YQ"), ("1.50", "YR")],
                     "500.00", "0.00"),
                a14("SELL PRICE", "1*-9100.5")]
    tree = pnr("ZZZZZZ", seq="00008", base="-8800", taxes="-302",
               paxs=[pax("HUANG/SHUFEN MRS", "2970000222", TKT_CJ="23",
                         TKT_AMS="-9100")])
    text = mir_text(header("ZZZZZZ", seq="00008", command="R"), sections)
    return text, interpreted("", tree)


def emd():
    """An EMD issue: passengers and remarks but no "A07" fare line; A29
    gives the EMD, 2975555500001 for 1500.00."""
    sections = [a02("LIN/MEIHUA MS", "2974400123", "01"), A09, *A29,
                a14("**APT TAX", "1*150"), vl("CI", "TPEK4T")]
    tree = pnr("TPEK4T", seq="00009",
               paxs=[pax("LIN/MEIHUA MS", "2974400123", TKT_TAX="150")],
               locators=crls("TPEK4T", "CI"))
    text = mir_text(header("TPEK4T", seq="00009", command="F"), sections)
    return text, interpreted("", tree)


def exchange():
    """A ticket issued in exchange: 2972971234541 for 1200.00 replaces
    2972971234540 (issued 01DEC26 for 1050.00); 150.00 collected."""
    sections = [a02("HO/EVE MS", "2971234541", "01", exchange_item="01"),
                a07("1100.00", "100.00", "0.00", "0.00"),
                *a10("2972971234540", total="000000105000"),
                a11("S ", "150.00"), vl("CI", "TPEX01")]
    tree = pnr("TPEX01", seq="00011", base="1100", taxes="100",
               paxs=[pax("HO/EVE MS", "2971234541")],
               locators=crls("TPEX01", "CI"))
    text = mir_text(header("TPEX01", seq="00011", exchange="Y"), sections)
    return text, interpreted("", tree)


def edge_cases():
    """Numbers, flight numbers and remarks at the edges of their rules."""
    sections = [
        "   " + a02("TSAI/YAWEN MS", "2971111198", "03") + "   ",
        a02("KAO/CHIHMING MR", "2971111199", "02"),
        a02("HSU/PEIJUN MS", "2971111100", "  "),
        a04("01", "CI", "7   ", "C ", "01FEB", "0800 ", "1000 ", "0", "TPE",
            "KIX", "S"),
        a04("02", "CI", "1234", "C ", "03FEB", "1100 ", "1300 ", "0", "KIX",
            "TPE", "T", section="A05"),
        a07("99999.99", "100", "20", "3"),
        a07("1000.5", "12.5", "13.5", "0.5"),
        SHORT_A08,
        a08("12345678"),
        a21("1500.5"),
        a21("2500.5"),
        a14("sell price", "1*100"),
        a14("SELL PRICEX", "2*999"),
        a14("SELL PRIC", "2*999"),
        a14("**NET FARE", "3*777.77"),
        a14("**APT TAXQ", "1*100"),
        a14("**apt tax", "1*50"),
        a14("**APT TAX", "4*50"),
        a14("**APT TAX", "0*50"),
        a14("**APT TAX", "70000*50"),
        a14("**APT TAX", "-1*50"),
        a14("**APT TAX", "2*99999999999999999999"),
        a14("**NET FARE", "2*2147483647.4"),
        a14("SELL PRICE", "2*2147483647.5"),
        a14("SELL PRICE", " 2 * 1 2 3 . 5 "),
        a14("****TKNO-6", "1*2975555555555"),
        a14("****TKNO-0", "1*2975555555555"),
        a14("****TKNO-X", "1*2975555555555"),
        a14("****TKNO-5", "1*2976666666666999"),
        a14("****tkno-2", "3*29777"),
        a14("FREE TEXT", "1*5"),
        place({1: "A14", 4: "vl-", 21: "1A", 23: "LOWERC"}),
        place({1: "A14", 4: "VL-", 7: "CRS LOCATOR ", 21: "ZZ", 23: "AB"}),
        "A2",
        "x" * 10000,
    ]
    tree = pnr(
        "TPEEDG", base="1000", net="2500", taxes="26",
        paxs=[pax("TSAI/YAWEN MS", "2971111198", TKT_CJ="00", TKT_AMS="100",
                  TKT_TAX="150", TKT_NO5="2976666666666"),
              pax("KAO/CHIHMING MR", "2971111199", TKT_CJ="00",
                  TKT_AMS="124", TKT_NET="2147483647"),
              pax("HSU/PEIJUN MS", "2971111100", TKT_NET="778",
                  TKT_NO2="29777")],
        itns=[itn("01", "CI", "007", "C ", "01FEB", "0800 ", "1000 ", "0",
                  "TPE", "KIX", "S"),
              itn("02", "CI", "1234", "C ", "03FEB", "1100 ", "1300 ", "0",
                  "KIX", "TPE", "T")],
        locators=crls("AB", "ZZ"))
    text = mir_text(header("TPEEDG", numeric="297"), sections)
    return text, interpreted("12345678", tree)


def short_header():
    """A record of a single short line: the header stops before NUM_CDE."""
    text = "T5  1G0001?????00042 07DEC2\r"
    text = text[:10] + "%05d" % (len(text) - 1) + text[15:]
    tree = pnr("", seq="00042", created=" 07DEC2\r", carrier="", numeric="000",
               travel="", commission="")
    return text, interpreted("", tree, cpnid2="")


def without_form_feed():
    """No closing form feed and no line end after the last line."""
    sections = [a02("LIN/MEIHUA MS", "2971234567"), a21("100")]
    text = mir_text(header("TPEK4T", seq="00010"), sections, form_feed=False)
    tree = pnr("TPEK4T", seq="00010", net="100",
               paxs=[pax("LIN/MEIHUA MS", "2971234567")])
    return text, interpreted("", tree)


def main():
    files = {}
    text, expected = ticketed()
    for line_end in ("cr", "lf", "crlf"):
        files["ticketed-" + line_end] = (encode(text, line_end), expected)
    for name, make in (("void", void), ("refund", refund), ("emd", emd),
                       ("exchange", exchange), ("edge-cases", edge_cases),
                       ("short-header", short_header)):
        text, expected = make()
        files[name] = (encode(text), expected)
    text, expected = without_form_feed()
    files["no-form-feed"] = (encode(text, "crlf", last_line_end=False),
                             expected)

    # A file caught while the queue still writes it: the declared length
    # promises more than is there.
    text, _ = ticketed()
    files["incomplete"] = (encode(text[:-200]), {"verdict": "incomplete"})
    # The header's own CRs kept, the other line ends turned into LF: the CR
    # closing the header and the LF after it make one line end, the text is
    # one character short and the length no longer matches.
    text, _ = void()
    head, body = text[:343], text[343:]
    files["mixed-line-ends"] = (
        encode(head, "cr", last_line_end=True)
        + encode(body, "lf"), {"verdict": "incomplete"})
    files["not-mir"] = (
        b"QUEUE MESSAGE 07DEC26\r\nNO TICKETING RECORD\r\n",
        {"verdict": "not-mir"})
    files["lower-case-t5"] = (encode(text.replace("T5", "t5", 1)),
                              {"verdict": "not-mir"})

    for name, (data, expected) in files.items():
        with open(os.path.join(HERE, name + ".mir"), "wb") as out:
            out.write(data)
        with open(os.path.join(HERE, name + ".expected.json"), "w",
                  encoding="utf-8") as out:
            json.dump(expected, out, indent=1, ensure_ascii=False)
            out.write("\n")


if __name__ == "__main__":
    main()
