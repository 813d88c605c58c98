#!/usr/bin/python3
"""An independent model of extract_phone_numbers' finding, on python3-phonenumbers: prints
the mobile numbers found in the lines of FILE (UTF-8, lines ended by CR, LF or CR LF) for REGION,
each once, one a line. A line "#=VALUE" stands for a spreadsheet's number cell of that value.
Usage: phone_number_peer.py REGION FILE"""
import re
import sys

import phonenumbers

WHITESPACE = "\t\v\f \u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000"
CELL = re.compile("[^" + WHITESPACE + ",;|\u3001\uff0c\uff1b]+")
DIGIT_CELL = re.compile("[0-9\uff10-\uff19]{7,15}")
MOBILE_TYPES = (phonenumbers.PhoneNumberType.MOBILE,
                phonenumbers.PhoneNumberType.FIXED_LINE_OR_MOBILE)


def is_mobile(number):
    return phonenumbers.number_type(number) in MOBILE_TYPES


def dialled(number, region):
    form = phonenumbers.format_number_for_mobile_dialing(number, region, False)
    return form or phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.E164)


def cell_number(cell, region):
    """A valid number written whole, or a mobile that lost its national prefix; else None."""
    digits = "".join(str(int(digit)) for digit in cell)  # full-width digits as ASCII
    try:
        number = phonenumbers.parse(cell, region)
    except phonenumbers.NumberParseException:
        return None
    if not phonenumbers.is_valid_number(number):
        return None
    form = dialled(number, region)
    national = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.NATIONAL)
    e164 = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.E164)
    if digits in (form, e164[1:], re.sub("[^0-9]", "", national)):
        return number
    lost_prefix = (form.endswith(digits) and form[:-len(digits)].isdigit()) or \
        phonenumbers.national_significant_number(number) == digits
    return number if lost_prefix and is_mobile(number) else None


def numbers_in(line, region):
    if line.startswith("#="):
        number = cell_number(line[2:], region) if DIGIT_CELL.fullmatch(line[2:]) else None
        yield from [number] if number else []
        return
    matches = list(phonenumbers.PhoneNumberMatcher(line, region,
                                                   leniency=phonenumbers.Leniency.VALID))
    yield from (match.number for match in matches)
    for cell in CELL.finditer(line):
        if not DIGIT_CELL.fullmatch(cell.group()) or any(
                match.start < cell.end() and cell.start() < match.end for match in matches):
            continue
        number = cell_number(cell.group(), region)
        if number:
            yield number


def main():
    region, path = sys.argv[1], sys.argv[2]
    with open(path, encoding="utf-8", newline="") as text:
        lines = re.split("\r\n|\r|\n", text.read())
    seen = set()
    for line in lines:
        for number in numbers_in(line, region):
            if not is_mobile(number):
                continue
            key = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.E164)
            if key not in seen:
                seen.add(key)
                print(dialled(number, region))


main()
