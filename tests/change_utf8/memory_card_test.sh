#!/usr/bin/env bash
# Runs change_utf8 in the folder of a FAT32 memory card image mounted with fusefat, the file
# system of the phone's card, for what only such a card shows:
#   1. group files renamed into place on FAT replace the earlier ones whole, nothing hidden
#      left, and the leftover of a longer run is named;
#   2. a SIGTERM while files are slowly created (tens of milliseconds each once the folder
#      holds a few hundred) ends the program by the signal with nothing hidden left;
#   3. a full card: exit status 1, the card's reason, the groups before it whole.
# After each unmount, `fsck.fat -n` finds the image clean. bench/run times a conversion here.
# Usage: tests/memory_card_test.sh PROGRAM. Exits 0 when all holds, 1 when something does not
# (saying what), 77 when it cannot run here: it needs root, /dev/fuse, fusefat, mkfs.vfat and
# fsck.fat (tools/install-dependencies tests installs them).
set -euo pipefail
fail() { echo "memory_card_test: FAILED: $*" >&2; exit 1; }
skip() { echo "memory_card_test: skipped: $*" >&2; exit 77; }

program=$(realpath "$1")
PATH=$PATH:/usr/sbin:/sbin  # mkfs.vfat and fsck.fat live there
[ "$(id -u)" -eq 0 ] || skip "mounting a FUSE file system here needs root"
for tool in fusefat mkfs.vfat fsck.fat mountpoint; do
  command -v "$tool" >/dev/null || skip "$tool is missing: tools/install-dependencies tests installs it"
done
{ : <>/dev/fuse; } 2>/dev/null || skip "/dev/fuse cannot be opened"

scratch=$(mktemp -d)
card=$scratch/card image=$scratch/card.img fusefat_pid="" program_pid=""
mkdir "$card"
cleanup() {
  [ -z "$program_pid" ] || kill -KILL "$program_pid" 2>/dev/null || true
  mountpoint -q "$card" && { umount "$card" 2>/dev/null || umount -l "$card" || true; }
  [ -z "$fusefat_pid" ] || wait "$fusefat_pid" 2>/dev/null || true
  mountpoint -q "$card" || rm -rf "$scratch"  # never remove through a mounted card
}
trap cleanup EXIT

# Makes a FAT32 image of SIZE and mounts it read-write on $card (-f: in the foreground, so its
# end can be awaited; -s: one request at a time; hard_remove: a removed file goes at once).
mount_card() {
  truncate -s "$1" "$image"
  mkfs.vfat -F 32 "$image" >"$scratch/log" 2>&1 || fail "mkfs.vfat: $(cat "$scratch/log")"
  fusefat -f -s -o rw+,hard_remove "$image" "$card" >"$scratch/log" 2>&1 &
  fusefat_pid=$!
  for _ in {1..100}; do mountpoint -q "$card" && return 0; sleep 0.05; done
  skip "fusefat could not mount: $(tail -n 3 "$scratch/log")"
}
unmount_card() {
  umount "$card" && wait "$fusefat_pid" || fail "fusefat ended badly"
  fusefat_pid=""
  fsck.fat -n "$image" >"$scratch/log" 2>&1 || fail "fsck.fat -n: $(cat "$scratch/log")"
  rm -f "$image"
}

# Converts numbers FIRST..LAST with LIMIT a file in the card's folder; sets $status.
convert() {
  seq -f '09%08g' "$2" "$3" >"$scratch/list"
  status=0
  (cd "$card" && printf '%s\n%s\n' "$1" "$scratch/list" |
    LC_ALL=C "$program" >"$scratch/stdout" 2>"$scratch/stderr") || status=$?
}
# Fails unless group file NUMBER holds COUNT numbers from FIRST on, byte for byte.
expect_group() {
  local number=$1 first=$2 count=$3 i expected
  expected="<xml><string id=\"name\">output_$number</string>"
  for ((i = 0; i < count; i++)); do
    expected+=$(printf '<contactData><string id="peopleName%d">People</string><string id="peoplePhone%d">09%08d</string></contactData>' "$i" "$i" $((first + i)))
  done
  [ "$(cat "$card/output_$number.xml")" = "$expected<int id=\"total\">$count</int></xml>" ] ||
    fail "output_$number.xml is not the group of $count from $first: $(head -c 200 "$card/output_$number.xml")"
}
expect_nothing_hidden() {
  local hidden
  hidden=$(find "$card" -mindepth 1 -maxdepth 1 -name '.*' -printf '%f ')
  [ -z "$hidden" ] || fail "$1: hidden files left: $hidden"
}

mount_card 40M
convert 3 1 600
[ "$status" -eq 0 ] && [ ! -s "$scratch/stderr" ] || fail "600 numbers: status $status, $(cat "$scratch/stderr")"
convert 3 1001 1300
[ "$status" -eq 0 ] || fail "the shorter run: status $status"
grep -qx 'change_utf8: output_101.xml: is from an earlier run.*' "$scratch/stderr" ||
  fail "the shorter run does not name output_101.xml: $(cat "$scratch/stderr")"
expect_group 1 1001 3 && expect_group 100 1298 3 && expect_group 101 301 3
expect_nothing_hidden "the shorter run"
echo "1. group files replaced whole on FAT, output_101.xml named as a leftover"

rm -f "$card"/output_*.xml
seq -f '09%08g' 1 600 >"$scratch/list"
printf '1\n%s\n' "$scratch/list" >"$scratch/answers"
(cd "$card" && LC_ALL=C exec "$program" <"$scratch/answers" >/dev/null 2>&1) &
program_pid=$!
until [ -e "$card/output_300.xml" ]; do  # creations are slow by now
  kill -0 "$program_pid" 2>/dev/null || fail "SIGTERM: the program ended before output_300.xml"
  sleep 0.01
done
kill -TERM "$program_pid"
status=0 && wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 143 ] || fail "SIGTERM: status $status"
expect_nothing_hidden "SIGTERM"
for file in "$card"/output_*.xml; do
  number=${file##*_} number=${number%.xml}
  expect_group "$number" "$number" 1
done
unmount_card
echo "2. SIGTERM while creating files: status 143, nothing hidden, every group file whole"

mount_card 64K
convert 3 1 600
first=$(sed -n 's/^無法寫入檔案:output_\([0-9]*\)\.xml$/\1/p' "$scratch/stdout" | head -n 1)
[ "$status" -eq 1 ] && [ "${first:-0}" -gt 1 ] || fail "the full card: status $status, first failed ${first:-none}"
# fusefat answers a write that finds no free cluster with EPERM, not ENOSPC.
[ "$(sed 's/output_[0-9]*/output_N/' "$scratch/stderr" | sort -u)" = "change_utf8: output_N.xml: Operation not permitted" ] ||
  fail "the full card: reasons: $(cat "$scratch/stderr")"
expect_group 1 1 3 && expect_group $((first - 1)) $((first * 3 - 5)) 3
[ ! -e "$card/output_$first.xml" ] || fail "the full card: output_$first.xml exists"
expect_nothing_hidden "the full card"
unmount_card
echo "3. a full card: exit status 1, groups 1 to $((first - 1)) whole, nothing hidden; fsck.fat clean"
