#!/usr/bin/python3
"""The peer a user would reach for to take the mobile numbers out of a list: python3-phonenumbers'
PhoneNumberMatcher (leniency VALID, region TW) over each line of FILE, keeping the numbers typed
MOBILE or FIXED_LINE_OR_MOBILE. Writes each number once, in the order first found, in the form a
phone in Taiwan dials it (E.164 where it has none).
Usage: bench/phone_matcher_peer.py FILE"""
import sys

import phonenumbers

E164 = phonenumbers.PhoneNumberFormat.E164
MOBILE_TYPES = (phonenumbers.PhoneNumberType.MOBILE,
                phonenumbers.PhoneNumberType.FIXED_LINE_OR_MOBILE)

written = set()
with open(sys.argv[1], encoding="utf-8-sig") as lines, open(1, "w", closefd=False) as out:
    for line in lines:
        for match in phonenumbers.PhoneNumberMatcher(line, "TW", phonenumbers.Leniency.VALID):
            if phonenumbers.number_type(match.number) not in MOBILE_TYPES:
                continue
            key = phonenumbers.format_number(match.number, E164)
            if key not in written:
                written.add(key)
                out.write((phonenumbers.format_number_for_mobile_dialing(match.number, "TW", False)
                           or key) + "\n")
