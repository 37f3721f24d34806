#!/usr/bin/env python3
"""Test vectors for the IEEE <-> MBF conversions, worked out with exact rational
arithmetic only (no host floating point), printed as rows for
tests/unit/conversions_test.cpp.

Formats, as value = significand * 2^exponent with an integer significand:
  IEEE binary32: 24-bit significand, normal exponents -126..127, denormals below.
  IEEE binary64: 53-bit significand, normal exponents -1022..1023, denormals below.
  MBF 4 bytes:   24-bit significand, exponents -128..126 (exponent byte 1..255),
                 no denormals; exponent byte 0 is zero.
  MBF 8 bytes:   56-bit significand, the same exponents.

Packing policy checked by the vectors: every IEEE value MBF holds is packed
exactly (MBF has at least IEEE's precision). Zeros of either sign give all zero
bytes. Infinities, NaN and values of 2^127 and above are refused. Values below
2^-128 (MBF's smallest magnitude) become 0 in the 4-byte form and are refused in
the 8-byte form. Unpacking rounds to the nearest IEEE value, ties to even, with
IEEE denormals where needed.
"""

from fractions import Fraction as F


class Ieee:
    def __init__(self, name, p, emin, emax, bias, width):
        self.name, self.p, self.emin, self.emax, self.bias, self.width = name, p, emin, emax, bias, width


SINGLE = Ieee("single", 24, -126, 127, 127, 32)
DOUBLE = Ieee("double", 53, -1022, 1023, 1023, 64)


def floor_log2(x):
    """The e with 2^e <= x < 2^(e+1), for a positive Fraction x."""
    e = x.numerator.bit_length() - x.denominator.bit_length()
    while F(2) ** e > x:
        e -= 1
    while F(2) ** (e + 1) <= x:
        e += 1
    return e


def round_half_even(x):
    """The integer nearest to the non-negative Fraction x, ties to even."""
    q, rem = divmod(x.numerator, x.denominator)
    twice = 2 * rem
    if twice > x.denominator or (twice == x.denominator and q % 2 == 1):
        q += 1
    return q


def ieee_bits(x, fmt):
    """Bit pattern of the IEEE value nearest to x (round to nearest, ties to even).
    x is a Fraction, or one of "inf", "-inf", "nan", "-0"."""
    frac_bits = fmt.p - 1
    exp_all = (1 << (fmt.width - 1 - frac_bits)) - 1
    sign_bit = 1 << (fmt.width - 1)
    if x == "nan":
        return (exp_all << frac_bits) | (1 << (frac_bits - 1))
    if x in ("inf", "-inf"):
        return (sign_bit if x == "-inf" else 0) | (exp_all << frac_bits)
    if x == "-0":
        return sign_bit
    sign = sign_bit if x < 0 else 0
    a = abs(x)
    if a == 0:
        return sign
    e = max(floor_log2(a), fmt.emin)
    m = round_half_even(a / F(2) ** (e - frac_bits))
    if m == 1 << fmt.p:  # rounding carried into the next binade
        m >>= 1
        e += 1
    assert e <= fmt.emax, "overflow"
    if m < 1 << frac_bits:  # denormal
        return sign | m
    return sign | ((e + fmt.bias) << frac_bits) | (m - (1 << frac_bits))


def ieee_value(bits, fmt):
    """The exact value of an IEEE bit pattern: a Fraction, or "inf"/"-inf"/"nan"/"-0"."""
    frac_bits = fmt.p - 1
    exp_all = (1 << (fmt.width - 1 - frac_bits)) - 1
    neg = bits >> (fmt.width - 1)
    biased = (bits >> frac_bits) & exp_all
    frac = bits & ((1 << frac_bits) - 1)
    if biased == exp_all:
        return "nan" if frac else ("-inf" if neg else "inf")
    if biased == 0:
        if frac == 0:
            return "-0" if neg else F(0)
        v = F(frac) * F(2) ** (fmt.emin - frac_bits)
    else:
        v = F((1 << frac_bits) | frac) * F(2) ** (biased - fmt.bias - frac_bits)
    return -v if neg else v


def mbf_pack(v, nbytes):
    """MBF bytes of the exact value v (Fraction or special), or None when refused."""
    p = 24 if nbytes == 4 else 56
    if v in ("inf", "-inf", "nan"):
        return None
    if v == "-0" or v == 0:
        return [0] * nbytes
    a = abs(v)
    e = floor_log2(a)
    if e > 126:
        return None
    if e < -128:
        return [0] * nbytes if nbytes == 4 else None
    m = a / F(2) ** (e - (p - 1))
    assert m.denominator == 1, "MBF must hold every packed value exactly"
    mant = m.numerator - (1 << (p - 1))  # the bits below the implied leading 1
    out = [(mant >> (8 * i)) & 0xFF for i in range(nbytes - 1)]
    if v < 0:
        out[nbytes - 2] |= 0x80
    out.append(e + 129)
    return out


def mbf_value(b):
    """The exact value of MBF bytes b (4 or 8 of them)."""
    n = len(b)
    if b[-1] == 0:
        return F(0)
    p = 24 if n == 4 else 56
    mant = sum((b[i] & (0x7F if i == n - 2 else 0xFF)) << (8 * i) for i in range(n - 1))
    v = F((1 << (p - 1)) | mant) * F(2) ** (b[-1] - 129 - (p - 1))
    return -v if b[n - 2] & 0x80 else v


P2 = lambda k: F(2) ** k  # noqa: E731

# (name, exact value); the IEEE value packed is the one nearest to it.
SINGLE_PACK = [
    ("1", F(1)), ("-1", F(-1)), ("0.5", F(1, 2)), ("10", F(10)), ("0.1", F(1, 10)), ("-2.5", F(-5, 2)),
    ("0", F(0)), ("-0", "-0"),
    ("2^126", P2(126)), ("largest, -(2 - 2^-23) * 2^126", -(2 - P2(-23)) * P2(126)),
    ("2^-126, smallest normal", P2(-126)), ("-2^-127, denormal", -P2(-127)),
    ("2^-128, denormal, MBF's smallest", P2(-128)), ("1.5 * 2^-128, denormal", F(3, 2) * P2(-128)),
    ("(2^23 - 1) * 2^-149, largest denormal", (P2(23) - 1) * P2(-149)),
    ("2^-129, denormal below MBF's range", P2(-129)), ("-2^-149, smallest denormal", -P2(-149)),
    ("2^127", P2(127)), ("largest single", (2 - P2(-23)) * P2(127)),
    ("inf", "inf"), ("-inf", "-inf"), ("NaN", "nan"),
]

DOUBLE_PACK = [
    ("1", F(1)), ("-1", F(-1)), ("0.5", F(1, 2)), ("10", F(10)), ("0.1", F(1, 10)), ("-2.5", F(-5, 2)),
    ("2", F(2)), ("0", F(0)), ("-0", "-0"),
    ("2^126", P2(126)), ("largest, (2 - 2^-52) * 2^126", (2 - P2(-52)) * P2(126)),
    ("-2^-128, MBF's smallest", -P2(-128)), ("(1 + 2^-52) * 2^-128", (1 + P2(-52)) * P2(-128)),
    ("2^-129, below MBF's range", P2(-129)), ("2^-1022, smallest normal", P2(-1022)),
    ("2^-1074, smallest denormal", P2(-1074)),
    ("2^127", P2(127)), ("largest double", (2 - P2(-52)) * P2(1023)),
    ("inf", "inf"), ("-inf", "-inf"), ("NaN", "nan"),
]

# MBF byte strings that no IEEE value packs to: rounding when unpacking.
SINGLE_UNPACK_EXTRA = [
    ("exponent byte 0 with other bits set", [0xFF, 0xFF, 0xFF, 0x00]),
    ("exponent byte 1, lowest bit set: rounds down", [0x01, 0x00, 0x00, 0x01]),
    ("exponent byte 1, a tie: to even, down", [0x02, 0x00, 0x00, 0x01]),
    ("exponent byte 1, a tie: to even, up", [0x06, 0x00, 0x00, 0x01]),
    ("exponent byte 1, negative, above a tie: up", [0x03, 0x00, 0x80, 0x01]),
    ("exponent byte 1, all mantissa bits", [0xFF, 0xFF, 0x7F, 0x01]),
    ("exponent byte 2, a tie: to even, down", [0x01, 0x00, 0x00, 0x02]),
    ("exponent byte 2, a tie: to even, up", [0x03, 0x00, 0x00, 0x02]),
    ("exponent byte 2, all mantissa bits: carries to the smallest normal", [0xFF, 0xFF, 0x7F, 0x02]),
    ("exponent byte 3, the smallest normal", [0x00, 0x00, 0x00, 0x03]),
]

DOUBLE_UNPACK_EXTRA = [
    ("0.1 as MBF files hold it", [0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D]),
    ("exponent byte 0 with other bits set", [0xFF] * 7 + [0x00]),
    ("low bits 001: down", [0x01, 0, 0, 0, 0, 0, 0, 0x81]),
    ("low bits 011: down", [0x03, 0, 0, 0, 0, 0, 0, 0x81]),
    ("low bits 100, a tie, even: down", [0x04, 0, 0, 0, 0, 0, 0, 0x81]),
    ("low bits 100, a tie, odd: up", [0x0C, 0, 0, 0, 0, 0, 0, 0x81]),
    ("low bits 101: up", [0x05, 0, 0, 0, 0, 0, 0x80, 0x81]),
    ("low bits 111: up", [0x07, 0, 0, 0, 0, 0, 0, 0x81]),
    ("all mantissa bits: carries to 2", [0xFF] * 6 + [0x7F, 0x81]),
    ("all bits, exponent byte 255: 2^127", [0xFF] * 6 + [0x7F, 0xFF]),
    ("exponent byte 1, -, low bits 110", [0x06, 0, 0, 0, 0, 0, 0x80, 0x01]),
]


def hexbytes(b):
    return "{" + ", ".join("0x%02X" % x for x in b) + "}"


def bits_literal(bits, fmt):
    return ("0x%08Xu" if fmt is SINGLE else "0x%016Xull") % bits


def emit(fmt, nbytes, pack_rows, extra_unpack):
    print("// %s: name, IEEE bits, MBF bytes (empty when refused)" % fmt.name)
    print("const std::vector<mbf_pack_row<%s>> %s_pack_vectors = {" % (
        "uint32_t" if fmt is SINGLE else "uint64_t", fmt.name))
    unpack = []
    for name, v in pack_rows:
        bits = ieee_bits(v, fmt)
        exact = ieee_value(bits, fmt)
        mbf = mbf_pack(exact, nbytes)
        print('    {"%s", %s, %s},' % (name, bits_literal(bits, fmt), hexbytes(mbf or [])))
        if mbf is not None and any(mbf):
            unpack.append((name, mbf))
    print("};")
    print("// %s: name, MBF bytes, IEEE bits of the nearest value" % fmt.name)
    print("const std::vector<mbf_unpack_row<%s>> %s_unpack_vectors = {" % (
        "uint32_t" if fmt is SINGLE else "uint64_t", fmt.name))
    for name, mbf in unpack + [("zero", [0] * nbytes)] + extra_unpack:
        bits = ieee_bits(mbf_value(mbf), fmt)
        print('    {"%s", %s, %s},' % (name, hexbytes(mbf), bits_literal(bits, fmt)))
    print("};")


if __name__ == "__main__":
    print("// Generated by tools/mbf_vectors.py.")
    emit(SINGLE, 4, SINGLE_PACK, SINGLE_UNPACK_EXTRA)
    emit(DOUBLE, 8, DOUBLE_PACK, DOUBLE_UNPACK_EXTRA)
