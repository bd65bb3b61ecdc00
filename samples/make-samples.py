#!/usr/bin/env python3
"""Writes the sample logs in this folder from known SQL text, each with the ".sql" file the program writes
for it (the log's name without its last four characters, then ".sql"), so that dropping a sample on the
program rewrites that file with the same bytes.

A log line is the text's code-page-949 characters as four hex digits each, the code's low byte first, and a
line break inside a statement as 0D0A; lines end in CR LF. The decoded file holds each line's text in code
page 949 followed by CR LF. Run it again after changing a text: the output is the same on every run.

usage: make-samples.py [FOLDER=this script's folder]"""
import os
import runpy
import sys

SHORT_KO = [
    "SELECT id, name, reg_date FROM member WHERE name = '홍길동' AND status = 1;",
    "INSERT INTO orders (id, member_id, memo) VALUES (1001, 7, '서울특별시 강남구 배송 요청');",
    "UPDATE product SET title = '한글 상품명 (특가)', price = 12900 WHERE id = 42;",
    "DELETE FROM cart WHERE member_id = 7 AND memo LIKE '%취소%';",
    "SELECT *\nFROM payment\nWHERE method = '카드' ORDER BY id DESC;",
    "UPDATE member SET nick = '똠방각하', memo = '뷁 햏 쒧: 확장 완성형' WHERE id = 9;",
    "",
    "INSERT INTO log (msg) VALUES ('가나다라마바사 ABC abc 0123456789');",
]

ASCII = [
    "SELECT 1;",
    "SELECT id, login, `group` FROM account WHERE login = 'admin' AND pw_hash <> '';",
    "INSERT INTO audit (path, note) VALUES ('C:\\\\logs\\\\today.log', 'quotes '' and \"double\"');",
    "UPDATE stats SET hits = hits + 1, ratio = 0.75 WHERE day BETWEEN '2024-01-01' AND '2024-12-31';",
    "-- ~!@#$%^&*()_+=-[]{}|;:,.<>/? are all plain",
    "\tSELECT 'tab before';",
]

LONG_WORDS = ["주문", "상품", "결제", "배송", "고객", "주소", "서울특별시", "부산광역시", "환불", "포인트",
              "쿠폰", "회원가입", "관리자", "메모", "테스트", "order", "item", "price", "status", "memo"]


def long_line(index, chars=2250):
    """One statement padded to exactly chars characters: 9,000 hex digits once encoded."""
    text = "INSERT INTO bulk_log (id, body) VALUES (%d, '" % index
    i = index
    while len(text) < chars - 3:
        text += LONG_WORDS[i % len(LONG_WORDS)] + " "
        i += 7
    text = text[: chars - 3] + "');"
    assert len(text) == chars
    return text


def load_encoder():
    """The encoder of bench/make-log.py: one rule for every log this repository makes."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench", "make-log.py")
    return runpy.run_path(path)["encode"]


encode = load_encoder()


def write(folder, name, lines):
    log = "".join(encode(line) + "\r\n" for line in lines).encode("ascii")
    sql = "".join(line.replace("\n", "\r\n") + "\r\n" for line in lines).encode("cp949")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(log)
    with open(os.path.join(folder, name[:-4] + ".sql"), "wb") as f:
        f.write(sql)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write(folder, "short-korean.log", SHORT_KO)
    write(folder, "ascii-only.log", ASCII)
    write(folder, "long-lines.log", [long_line(n) for n in range(1, 6)])


if __name__ == "__main__":
    main()
