#!/usr/bin/env python3
"""Writes a maildir of generated order mails for benchmarks.

Every mail is an ISO-2022-JP order as the program expects it: the trigger
line "X-VEXALO: default" in the header and "item:value" lines in the body,
padded with remark lines to about the asked size. The file names
order-000001, order-000002, ... are the messages' unique ids on the test
server. With --ordinary the mails are instead ordinary ones without the
trigger line, a short text and a base64 attachment up to the asked size,
named mail-000001, ...; both kinds may go into one maildir. The same
arguments always give the same bytes.
"""

import base64

import argparse
import os
import random
import sys

TRIGGER = "X-VEXALO: default"
CUSTOMERS = ["山田 太郎", "佐藤 花子", "鈴木 一郎", "高橋 美咲", "田中 健二"]
PRODUCTS = ["薄口しょうゆ", "濃口しょうゆ", "米みそ", "本みりん", "穀物酢"]
REMARK = "備考:配達は午前中にお願いします。のし紙は不要です。"
MAX_COUNT = 1_000_000
MAX_SIZE = 64 * 1024 * 1024


def jis(text: str) -> bytes:
    # One line at a time, so every line ends back in ASCII as line-based
    # decoders expect.
    return text.encode("iso2022_jp")


def order_mail(number: int, size: int, rng: random.Random) -> bytes:
    header = [
        b"Return-Path: <shop@example.jp>",
        b"Message-ID: <order-%06d@example.jp>" % number,
        b"Date: Mon, 1 Apr 2024 09:%02d:%02d +0900" % (number // 60 % 60, number % 60),
        b"From: shop@example.jp",
        b"To: orders@example.jp",
        b"Subject: order %06d" % number,
        b"MIME-Version: 1.0",
        b"Content-Type: text/plain; charset=iso-2022-jp",
        b"Content-Transfer-Encoding: 7bit",
        TRIGGER.encode("ascii"),
        b"",
    ]
    body = [
        jis("注文番号:%06d" % number),
        jis("氏名:" + rng.choice(CUSTOMERS)),
        jis("品名:" + rng.choice(PRODUCTS)),
        jis("数量:%d" % rng.randint(1, 24)),
        jis("金額:%d,%03d" % (rng.randint(1, 99), rng.randint(0, 999))),
        jis("%:ここから下は備考です"),
    ]
    lines = header + body
    total = sum(len(line) + 1 for line in lines)
    remark = jis(REMARK)
    while total + len(remark) + 1 <= size:
        lines.append(remark)
        total += len(remark) + 1
    return b"\n".join(lines) + b"\n"


def ordinary_mail(number: int, size: int, rng: random.Random) -> bytes:
    # A header as mail from the internet carries one: relays' Received
    # lines and a signature, about 1.5 KB.
    relays = [
        b"Received: from mx%d.example.net (mx%d.example.net [192.0.2.%d])\n"
        b"\tby mail.example.jp (Postfix) with ESMTPS id %08X\n"
        b"\tfor <orders@example.jp>; Mon, 1 Apr 2024 09:00:00 +0900 (JST)"
        % (hop, hop, hop, rng.getrandbits(32))
        for hop in range(1, 5)
    ]
    signature = base64.b64encode(rng.randbytes(256))
    header = relays + [
        b"DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.net; s=sel;\n"
        b"\th=from:to:subject:date:message-id; bh=%s;\n\tb=%s"
        % (base64.b64encode(rng.randbytes(32)), b"\n\t ".join(
            signature[at : at + 72] for at in range(0, len(signature), 72))),
        b"Date: Mon, 1 Apr 2024 09:%02d:%02d +0900" % (number // 60 % 60, number % 60),
        b"Message-ID: <mail-%06d@example.jp>" % number,
        b"From: friend@example.jp",
        b"To: orders@example.jp",
        b"Subject: photo %06d" % number,
        b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="part"',
        b"",
        b"--part",
        b"Content-Type: text/plain; charset=us-ascii",
        b"",
        b"See the attached photo.",
        b"--part",
        b"Content-Type: application/octet-stream; name=photo.bin",
        b"Content-Transfer-Encoding: base64",
        b"",
    ]
    used = sum(len(line) + 1 for line in header) + len(b"--part--\n")
    raw = rng.randbytes(max(0, (size - used) * 3 // 4))
    encoded = base64.b64encode(raw)
    body = [encoded[at : at + 76] for at in range(0, len(encoded), 76)]
    return b"\n".join(header + body + [b"--part--"]) + b"\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("maildir", help="maildir to create (new/, cur/, tmp/)")
    parser.add_argument("--count", type=int, required=True, help="number of mails")
    parser.add_argument("--size", type=int, default=1024, help="about this many bytes each")
    parser.add_argument("--folder", choices=["new", "cur"], default="new")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--ordinary", action="store_true", help="ordinary mails, not orders")
    parser.add_argument("--first", type=int, default=1,
                        help="number of the first mail; above 1 adds to a maildir in use")
    args = parser.parse_args()
    if not 0 < args.count <= MAX_COUNT or not 0 < args.size <= MAX_SIZE:
        parser.error("count must be 1..%d and size 1..%d" % (MAX_COUNT, MAX_SIZE))
    if not 0 < args.first <= MAX_COUNT:
        parser.error("first must be 1..%d" % MAX_COUNT)

    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    prefix, make = ("mail", ordinary_mail) if args.ordinary else ("order", order_mail)
    for sub in ("new", "cur"):
        taken = [name for name in os.listdir(os.path.join(args.maildir, sub))
                 if name.startswith(prefix + "-")]
        if args.first == 1 and taken:
            print("%s/%s holds %s mails already" % (args.maildir, sub, prefix), file=sys.stderr)
            return 1

    rng = random.Random(args.seed)
    suffix = ":2," if args.folder == "cur" else ""
    for number in range(args.first, args.first + args.count):
        name = "%s-%06d%s" % (prefix, number, suffix)
        with open(os.path.join(args.maildir, args.folder, name), "wb") as out:
            out.write(make(number, args.size, rng))
    return 0


if __name__ == "__main__":
    sys.exit(main())
