#!/usr/bin/env python3
"""Writes an encoded log for decode-bench: realistic lines of 450 to 9,000 hex digits (SQL text with Korean
and ASCII, code-page-949 codes low byte first, the odd embedded line break as 0D0A), CR LF endings.

usage: make-log.py OUT [MEGABYTES=200] [--one-line]
--one-line writes the whole size as a single line (for the peak-memory check)."""
import random
import sys

WORDS_KO = ["사용자", "주문", "상품", "결제", "배송", "고객", "이름", "주소", "서울특별시", "부산광역시",
            "강남구", "전화번호", "상태", "완료", "대기", "취소", "환불", "포인트", "쿠폰", "회원가입",
            "로그인", "비밀번호", "변경", "관리자", "메모", "가나다라마바사", "한글", "테스트"]
TABLES = ["user", "orders", "order_item", "product", "payment", "delivery", "member_point", "coupon"]


def sql(rng):
    t = rng.choice(TABLES)
    k = rng.randint(1, 999999)
    ko = " ".join(rng.choice(WORDS_KO) for _ in range(rng.randint(1, 6)))
    kind = rng.randrange(4)
    if kind == 0:
        return f"INSERT INTO {t} (id, name, memo, reg_date) VALUES ({k}, '{ko}', 'memo-{k}', NOW());"
    if kind == 1:
        return f"UPDATE {t} SET memo = '{ko}', status = {rng.randint(0, 9)} WHERE id = {k};"
    if kind == 2:
        return f"SELECT id, name, memo FROM {t} WHERE name LIKE '%{ko}%' AND id > {k}\nORDER BY id DESC;"
    return f"DELETE FROM {t} WHERE id = {k} AND memo <> '{ko}';"


def encode(text):
    out = []
    for ch in text:
        if ch == "\n":
            out.append("0D0A")
            continue
        b = ch.encode("cp949")
        if len(b) == 1:
            out.append("%02X00" % b[0])
        else:
            out.append("%02X%02X" % (b[1], b[0]))
    return "".join(out)


def line(rng):
    chars = rng.randint(113, 2250)  # 452 to 9,000 hex digits
    text = ""
    while len(text) < chars:
        text += sql(rng) + " "
    return encode(text[:chars])


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if not args:
        sys.exit(__doc__)
    path = args[0]
    size = int(float(args[1]) * 1_000_000) if len(args) > 1 else 200_000_000
    rng = random.Random(949)
    with open(path, "wb") as f:
        if "--one-line" in sys.argv:
            chunk = "".join(line(rng) for _ in range(200)).encode("ascii")
            written = 0
            while written < size:
                part = chunk[: size - written] if size - written < len(chunk) else chunk
                part = part[: len(part) // 4 * 4] or part
                f.write(part)
                written += len(part)
            f.write(b"\r\n")
            return
        pool = [line(rng).encode("ascii") + b"\r\n" for _ in range(3000)]
        written = 0
        while written < size:
            l = rng.choice(pool)
            f.write(l)
            written += len(l)


if __name__ == "__main__":
    main()
