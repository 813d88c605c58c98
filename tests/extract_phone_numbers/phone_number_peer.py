#!/usr/bin/python3
"""An independent model of extract_phone_numbers' finding, on python3-phonenumbers: prints
the mobile numbers found in the lines of FILE (UTF-8, lines ended by CR, LF or CR LF) for REGION,
each once, one a line: those the matcher finds, those of digit groups side by side, and the
cells read alone. A line "#=VALUE" stands for a spreadsheet's number cell of that value.
Usage: phone_number_peer.py REGION FILE"""
import functools
import re
import sys

import phonenumbers

WHITESPACE = "\t\v\f \u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000"
CELL = re.compile("[^" + WHITESPACE + ",;|\u3001\uff0c\uff1b]+")
DIGIT_CELL = re.compile("[0-9\uff10-\uff19]{7,15}")
GROUP_RUN = re.compile("(?<![0-9A-Za-z+()])(?<![0-9][ -])[0-9]+(?:[ -][0-9]+)+"
                       "(?![0-9A-Za-z+()])(?![ -][0-9])")
MOBILE_TYPES = (phonenumbers.PhoneNumberType.MOBILE,
                phonenumbers.PhoneNumberType.FIXED_LINE_OR_MOBILE)


def is_mobile(number):
    return phonenumbers.number_type(number) in MOBILE_TYPES


def dialled(number, region):
    form = phonenumbers.format_number_for_mobile_dialing(number, region, False)
    return form or phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.E164)


def digits(text):
    return re.sub("[^0-9]", "", text)


def valid_number(text, region, keep_raw_input=False):
    try:
        number = phonenumbers.parse(text, region, keep_raw_input=keep_raw_input)
    except phonenumbers.NumberParseException:
        return None
    return number if phonenumbers.is_valid_number(number) else None


def written_number(text, region):
    """The number `text` is, valid and written with the national prefix its national form has."""
    number = valid_number(text, region, keep_raw_input=True)
    if number is None:
        return None
    national_number = phonenumbers.national_significant_number(number)
    national = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.NATIONAL)
    if (number.country_code_source == phonenumbers.CountryCodeSource.FROM_DEFAULT_COUNTRY
            and len(national_number) == len(digits(text))
            and digits(national) != national_number):
        return None
    return number


def splits(run, groups, region):
    """The ways the groups of `run` split into numbers, at most two of them, each a list of
    (start, end, number)."""
    @functools.lru_cache(maxsize=None)
    def ways_from(first):
        if first == len(groups):
            return [[]]
        ways = []
        for end in range(first + 1, len(groups) + 1):
            text = run[groups[first][0]:groups[end - 1][1]]
            if len(digits(text)) > 15:
                break
            number = written_number(text, region) if len(digits(text)) >= 7 else None
            if number is not None:
                ways += [[(groups[first][0], groups[end - 1][1], number)] + rest
                         for rest in ways_from(end)]
        return ways[:2]
    return ways_from(0)


def side_by_side(line, region, matches):
    """The numbers of the runs of digit groups, cut where a match overlaps them."""
    for run in GROUP_RUN.finditer(line):
        groups = [(run.start() + group.start(), run.start() + group.end())
                  for group in re.finditer("[0-9]+", run.group())]
        parts = [[]]
        for group in groups:
            if not any(match.start < group[1] and group[0] < match.end for match in matches):
                parts[-1].append(group)
            elif parts[-1]:
                parts.append([])
        for part in parts:
            ways = splits(line, part, region)
            if len(ways) == 1:
                yield from ways[0]


def cell_number(cell, region):
    """A valid number written whole, or a mobile that lost its national prefix; else None."""
    cell_digits = "".join(str(int(digit)) for digit in cell)  # full-width digits as ASCII
    number = valid_number(cell, region)
    if number is None:
        return None
    form = dialled(number, region)
    national = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.NATIONAL)
    e164 = phonenumbers.format_number(number, phonenumbers.PhoneNumberFormat.E164)
    if cell_digits in (form, e164[1:], re.sub("[^0-9]", "", national)):
        return number
    lost_prefix = (form.endswith(cell_digits) and form[:-len(cell_digits)].isdigit()) or \
        phonenumbers.national_significant_number(number) == cell_digits
    return number if lost_prefix and is_mobile(number) else None


def numbers_in(line, region):
    if line.startswith("#="):
        number = cell_number(line[2:], region) if DIGIT_CELL.fullmatch(line[2:]) else None
        yield from [number] if number else []
        return
    matches = list(phonenumbers.PhoneNumberMatcher(line, region,
                                                   leniency=phonenumbers.Leniency.VALID))
    found = sorted([(match.start, match.end, match.number) for match in matches] +
                   list(side_by_side(line, region, matches)), key=lambda each: each[0])
    yield from (number for _, _, number in found)
    for cell in CELL.finditer(line):
        if not DIGIT_CELL.fullmatch(cell.group()) or any(
                start < cell.end() and cell.start() < end for start, end, _ in found):
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
