#!/usr/bin/env bash
# Runs change_utf8 in the folder of a FAT32 memory card image mounted with fusefat, the file
# system of the phone's card, where creating a file is slow (tens of milliseconds once a
# folder holds a few hundred files):
#   1. conversions: exact console bytes and group files, nothing hidden left;
#   2. a second, shorter run names the leftover of the longer one on standard error;
#   3. a full card: exit status 1, the reason on standard error, the groups before it whole,
#      nothing hidden left;
#   4. SIGTERM at several moments of a run with one number per file: the program ends by the
#      signal, no hidden temporary file is left and every group file is whole.
# After each unmount, `fsck.fat -n` finds the image clean. Prints the time of a conversion on
# the card and on tmpfs, and which system call each SIGTERM found the program in.
#
# Usage: tests/memory_card_test.sh PROGRAM
# Exits 0 when all holds, 1 when something does not (saying what on standard error), and 77,
# saying why, when it cannot run here: it needs root, a usable /dev/fuse, fusefat, mkfs.vfat
# and fsck.fat (tools/install-dependencies tests installs them).
set -euo pipefail

readonly kSkipped=77
readonly kTermStatus=143  # 128 + SIGTERM: ended by the signal
# Sleeps before each SIGTERM, in seconds: moments spread over the first groups of a run.
readonly kTermMoments=(0.15 0.3 0.45 0.6 0.75 0.9 1.05 1.2)

skip() {
  echo "memory_card_test: skipped: $*" >&2
  exit "$kSkipped"
}

fail() {
  echo "memory_card_test: FAILED: $*" >&2
  exit 1
}

[ $# -eq 1 ] || { echo "usage: $0 PROGRAM" >&2; exit 2; }
program=$(realpath "$1")
[ -x "$program" ] || fail "$1 is not an executable program"
PATH=$PATH:/usr/sbin:/sbin  # mkfs.vfat and fsck.fat live there
machine=$(uname -m)

[ "$(id -u)" -eq 0 ] || skip "mounting a FUSE file system here needs root"
for tool in fusefat mkfs.vfat fsck.fat mountpoint; do
  command -v "$tool" >/dev/null || skip "$tool is missing: tools/install-dependencies tests installs it"
done
{ : <>/dev/fuse; } 2>/dev/null || skip "/dev/fuse cannot be opened (no FUSE in this kernel or container)"

scratch=$(mktemp -d)
card=$scratch/card  # the mount point: the card's folder
image=$scratch/card.img
mkdir "$card"
fusefat_pid=""
program_pid=""

cleanup() {
  local status=$?
  if [ -n "$program_pid" ]; then
    kill -KILL "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  if mountpoint -q "$card"; then
    umount "$card" 2>/dev/null || umount -l "$card" || true
  fi
  if [ -n "$fusefat_pid" ]; then
    wait "$fusefat_pid" 2>/dev/null || true
  fi
  # Never remove through a card that is still mounted.
  mountpoint -q "$card" || rm -rf "$scratch"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Makes a FAT32 image of SIZE (as truncate takes it) and mounts it read-write on $card. The
# first mount skips the test when FUSE turns out unusable here (a container without the right
# to mount, say).
mount_card() {
  local size=$1 waited
  rm -f "$image"
  truncate -s "$size" "$image"
  # Small images get a warning about too few clusters for FAT32; they work all the same.
  mkfs.vfat -F 32 "$image" >"$scratch/mkfs.txt" 2>&1 || fail "mkfs.vfat: $(cat "$scratch/mkfs.txt")"
  # -f: stays in the foreground, so that its exit after unmounting can be awaited; -s: one
  # request at a time; rw+: writable; hard_remove: a removed file goes at once, not renamed to
  # a hidden name while still open. Its debug lines go to a log.
  fusefat -f -s -o rw+,hard_remove "$image" "$card" >"$scratch/fusefat.log" 2>&1 &
  fusefat_pid=$!
  for ((waited = 0; waited < 100; waited++)); do
    mountpoint -q "$card" && return 0
    kill -0 "$fusefat_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$fusefat_pid" 2>/dev/null || true
  wait "$fusefat_pid" 2>/dev/null || true
  fusefat_pid=""
  [ -n "${card_mounted_before:-}" ] || skip "fusefat could not mount: $(tail -n 3 "$scratch/fusefat.log")"
  fail "fusefat could not mount: $(tail -n 3 "$scratch/fusefat.log")"
}

# Unmounts the card, waits for fusefat to write out and end, and checks the image.
unmount_card() {
  card_mounted_before=yes
  umount "$card"
  wait "$fusefat_pid" || fail "fusefat ended with status $?"
  fusefat_pid=""
  fsck.fat -n "$image" >"$scratch/fsck.txt" 2>&1 ||
    fail "fsck.fat -n finds faults on the card after unmounting: $(cat "$scratch/fsck.txt")"
  echo "fsck.fat -n: clean ($(tail -n 1 "$scratch/fsck.txt"))"
}

# Runs the program in FOLDER with the answers LIMIT and LIST; sets $status, and leaves the
# console in $scratch/stdout and the reasons in $scratch/stderr.
convert() {
  local folder=$1 limit=$2 list=$3
  status=0
  (cd "$folder" && printf '%s\n%s\n' "$limit" "$list" |
    LC_ALL=C "$program" >"$scratch/stdout" 2>"$scratch/stderr") || status=$?
}

now_microseconds() {
  echo "${EPOCHREALTIME/./}"
}

# A list of the numbers 09 followed by FIRST..LAST in eight digits, one a line.
write_list() {
  local path=$1 first=$2 last=$3
  seq -f '09%08g' "$first" "$last" >"$path"
}

# The exact bytes of group file NUMBER holding COUNT numbers of write_list from FIRST on.
expected_group() {
  local number=$1 first=$2 count=$3 i
  printf '<xml><string id="name">output_%d</string>' "$number"
  for ((i = 0; i < count; i++)); do
    printf '<contactData><string id="peopleName%d">People</string>' "$i"
    printf '<string id="peoplePhone%d">09%08d</string></contactData>' "$i" $((first + i))
  done
  printf '<int id="total">%d</int></xml>' "$count"
}

# The exact console of converting write_list FIRST..FIRST+COUNT*LIMIT-1 with LIMIT.
expected_console() {
  local first=$1 groups=$2 limit=$3 group i
  printf '%s\n' "${kBanner[@]}" "請輸入檔案名稱(含附檔名):"
  for ((group = 1; group <= groups; group++)); do
    printf '輸出檔案:output_%d.xml\n' "$group"
    for ((i = 0; i < limit; i++)); do
      printf 'read:09%08d\n' $((first + (group - 1) * limit + i))
    done
  done
  printf '%s\n' "完成轉換，程式結束...請檔案放到手機記憶卡底下的:" "Data/MyAndroid/vesk"
}

readonly kBanner=(
  "簡訊群組送大量轉換程式 V0.1"
  "本程式只吃純文字檔的電話號碼，例如:"
  "0912345678"
  "0932435658"
  "0968345654"
  "這種格式..."
  "沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案"
  "如果你有驚人的數量發送正確，可以通知給Kestrin知道"
  "Email: kestrin@example.com"
  "----------------------"
  "請輸入每個檔案最多有幾筆電話(1-9999):"
)

expect_status() {
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1; stderr: $(head -c 500 "$scratch/stderr")"
}

expect_file_bytes() {
  local path=$1 expected=$2
  printf '%s' "$expected" | cmp -s - "$path" ||
    fail "$path does not hold the expected bytes: $(head -c 300 "$path" 2>&1)"
}

# The hidden files in FOLDER (temporary group files left behind) with their sizes.
hidden_files_in() {
  find "$1" -mindepth 1 -maxdepth 1 -name '.*' -printf '%f (%s bytes)\n' | paste -sd ' '
}

expect_nothing_hidden() {
  local hidden
  hidden=$(hidden_files_in "$1")
  [ -z "$hidden" ] || fail "$2: hidden files left in the card's folder: $hidden"
}

# Prints the names of the group files in FOLDER that are not whole: one line, no newline,
# named after the file itself, contacts numbered from 0, and a total equal to their count.
broken_group_files() {
  local folder=$1 files
  files=$(cd "$folder" && find . -maxdepth 1 -name 'output_*.xml' -printf '%f\n')
  [ -n "$files" ] || return 0
  # Each file is one record (no byte \001 in a group file); an empty file gives no record.
  # shellcheck disable=SC2016 # an awk program, not shell
  (cd "$folder" && printf '%s\n' "$files" | xargs awk -v RS='\001' '
    function whole(text, name,   contacts, contact, head, tail) {
      head = "<xml><string id=\"name\">" name "</string>"
      if (index(text, head) != 1) return 0
      text = substr(text, length(head) + 1)
      for (contacts = 0; ; contacts++) {
        contact = "<contactData><string id=\"peopleName" contacts "\">People</string>" \
                  "<string id=\"peoplePhone" contacts "\">"
        if (index(text, contact) != 1) break
        text = substr(text, length(contact) + 1)
        if (!match(text, /^09[0-9]+<\/string><\/contactData>/)) return 0
        text = substr(text, RLENGTH + 1)
      }
      tail = "<int id=\"total\">" contacts "</int></xml>"
      return text == tail
    }
    { name = FILENAME; sub(/\.xml$/, "", name); if (whole($0, name)) whole_files[FILENAME] = 1 }
    END { for (i = 1; i < ARGC; i++) if (!(ARGV[i] in whole_files)) print ARGV[i] }')
}

expect_all_whole() {
  local broken
  broken=$(broken_group_files "$1")
  [ -z "$broken" ] || fail "$2: group files not whole: $broken"
}

# The group files in FOLDER, one a line, in the order of their numbers.
group_files_in() {
  find "$1" -maxdepth 1 -name 'output_*.xml' -printf '%f\n' | sort -t _ -k 2 -n
}

median_of_three() {
  printf '%s\n' "$@" | sort -n | sed -n 2p
}

seconds() {
  printf '%d.%03d' $(($1 / 1000000)) $(($1 / 1000 % 1000))
}

# Step 1a: the sample list, three a file; exact console and files.
step_small_conversion() {
  printf '%s\n' 0912345678 0932435658 0968345654 0911222333 0922333444 0933444555 0944555666 \
    >"$scratch/phones.txt"
  convert "$card" 3 "$scratch/phones.txt"
  expect_status 0 "the sample list"
  [ ! -s "$scratch/stderr" ] || fail "the sample list: stderr: $(cat "$scratch/stderr")"
  cmp -s - "$scratch/stdout" <<'EOF' || fail "the sample list: console differs: $(cat "$scratch/stdout")"
簡訊群組送大量轉換程式 V0.1
本程式只吃純文字檔的電話號碼，例如:
0912345678
0932435658
0968345654
這種格式...
沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案
如果你有驚人的數量發送正確，可以通知給Kestrin知道
Email: kestrin@example.com
----------------------
請輸入每個檔案最多有幾筆電話(1-9999):
請輸入檔案名稱(含附檔名):
輸出檔案:output_1.xml
read:0912345678
read:0932435658
read:0968345654
輸出檔案:output_2.xml
read:0911222333
read:0922333444
read:0933444555
輸出檔案:output_3.xml
read:0944555666
完成轉換，程式結束...請檔案放到手機記憶卡底下的:
Data/MyAndroid/vesk
EOF
  [ "$(ls -A "$card")" = "$(printf '%s\n' output_1.xml output_2.xml output_3.xml)" ] ||
    fail "the sample list: the card holds $(ls -A "$card")"
  expect_file_bytes "$card/output_1.xml" '<xml><string id="name">output_1</string><contactData><string id="peopleName0">People</string><string id="peoplePhone0">0912345678</string></contactData><contactData><string id="peopleName1">People</string><string id="peoplePhone1">0932435658</string></contactData><contactData><string id="peopleName2">People</string><string id="peoplePhone2">0968345654</string></contactData><int id="total">3</int></xml>'
  expect_file_bytes "$card/output_3.xml" '<xml><string id="name">output_3</string><contactData><string id="peopleName0">People</string><string id="peoplePhone0">0944555666</string></contactData><int id="total">1</int></xml>'
  echo "1. the sample list on the card: exact console and group files"
}

# Step 1b: 600 numbers three a file, 200 groups, over the sample's three files; timed on the
# card (this run and two in fresh folders of the card) and on tmpfs.
step_conversion() {
  local list=$scratch/600.txt run started card_times=() tmpfs_times=() tmpfs_folder
  write_list "$list" 1 600
  started=$(now_microseconds)
  convert "$card" 3 "$list"
  card_times+=($(($(now_microseconds) - started)))
  expect_status 0 "600 numbers three a file"
  [ ! -s "$scratch/stderr" ] || fail "600 numbers: stderr: $(cat "$scratch/stderr")"
  expected_console 1 200 3 | cmp -s - "$scratch/stdout" || fail "600 numbers: console differs"
  [ "$(ls -A "$card")" = "$(for ((run = 1; run <= 200; run++)); do echo "output_$run.xml"; done | sort)" ] ||
    fail "600 numbers: the card holds other files than output_1.xml to output_200.xml"
  expect_file_bytes "$card/output_1.xml" "$(expected_group 1 1 3)"
  expect_file_bytes "$card/output_3.xml" "$(expected_group 3 7 3)"
  expect_file_bytes "$card/output_200.xml" "$(expected_group 200 598 3)"
  expect_all_whole "$card" "600 numbers"
  echo "1. 600 numbers three a file on the card: exact console, output_1.xml to output_200.xml, nothing hidden"

  for run in 2 3; do
    mkdir "$card/timing_$run"
    started=$(now_microseconds)
    convert "$card/timing_$run" 3 "$list"
    card_times+=($(($(now_microseconds) - started)))
    expect_status 0 "600 numbers in a fresh folder of the card"
  done
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
    for run in 1 2 3; do
      tmpfs_folder=$(mktemp -d -p /dev/shm)
      started=$(now_microseconds)
      convert "$tmpfs_folder" 3 "$list"
      tmpfs_times+=($(($(now_microseconds) - started)))
      rm -rf "$tmpfs_folder"
      expect_status 0 "600 numbers on tmpfs"
    done
  fi
  card_median=$(median_of_three "${card_times[@]}")
  printf 'figure: 600 numbers three a file (200 groups), median of 3: card %s s' \
    "$(seconds "$card_median")"
  if [ ${#tmpfs_times[@]} -eq 3 ]; then
    tmpfs_median=$(median_of_three "${tmpfs_times[@]}")
    printf ', tmpfs %s s, card/tmpfs %d\n' "$(seconds "$tmpfs_median")" \
      $((card_median / (tmpfs_median > 0 ? tmpfs_median : 1)))
  else
    printf ' (no tmpfs at /dev/shm to compare)\n'
  fi
}

# Step 2: 300 other numbers three a file: 100 groups replace the first ones, output_101.xml
# stays from the longer run and is named on standard error.
step_shorter_run() {
  local list=$scratch/300.txt
  write_list "$list" 1001 1300
  convert "$card" 3 "$list"
  expect_status 0 "the shorter run"
  # The wording after the file's name may change; its start may not.
  if [ "$(wc -l <"$scratch/stderr")" -ne 1 ] ||
    ! grep -q '^change_utf8: output_101\.xml: is from an earlier run' "$scratch/stderr"; then
    fail "the shorter run: stderr does not name output_101.xml as a leftover: $(cat "$scratch/stderr")"
  fi
  expected_console 1001 100 3 | cmp -s - "$scratch/stdout" || fail "the shorter run: console differs"
  expect_file_bytes "$card/output_1.xml" "$(expected_group 1 1001 3)"
  expect_file_bytes "$card/output_100.xml" "$(expected_group 100 1298 3)"
  expect_file_bytes "$card/output_101.xml" "$(expected_group 101 301 3)"
  expect_nothing_hidden "$card" "the shorter run"
  expect_all_whole "$card" "the shorter run"
  echo "2. a shorter run: output_101.xml named as a leftover, exit status 0"
}

# Sets $system_call to the system call that process PID is in: by name where known (x86_64),
# else its number; "running" when in none. Sets a variable rather than printing, so that no
# subshell stands between this look and the signal sent right after it.
look_at_system_call() {
  system_call=gone
  read -r system_call _ <"/proc/$1/syscall" 2>/dev/null || return 0
  [ "$machine" = x86_64 ] || return 0
  case $system_call in
    0) system_call="read" ;; 1) system_call="write" ;; 3) system_call="close" ;;
    82) system_call="rename" ;; 87) system_call="unlink" ;; 257) system_call="openat" ;;
    262) system_call="newfstatat" ;; 263) system_call="unlinkat" ;; 316) system_call="renameat2" ;;
  esac
}

# Step 4: SIGTERM at several moments of a run with one number per file in a folder of 200
# files, where each creation takes tens of milliseconds. Counts and names every moment that
# leaves a hidden file, a broken group file or another status, and fails after all moments.
step_signals() {
  local list=$scratch/signals.txt moment call hidden broken faults=0 in_creation=0 report=()
  write_list "$list" 2001 2600
  printf '1\n%s\n' "$list" >"$scratch/answers"
  for moment in "${kTermMoments[@]}"; do
    (cd "$card" && LC_ALL=C exec "$program" <"$scratch/answers" >"$scratch/stdout" 2>"$scratch/stderr") &
    program_pid=$!
    sleep "$moment"
    look_at_system_call "$program_pid"
    call=$system_call
    kill -TERM "$program_pid" 2>/dev/null || true
    status=0
    wait "$program_pid" || status=$?
    program_pid=""
    [ "$call" = openat ] && in_creation=$((in_creation + 1))
    hidden=$(hidden_files_in "$card")
    broken=$(broken_group_files "$card")
    if [ "$status" -ne "$kTermStatus" ] || [ -n "$hidden" ] || [ -n "$broken" ]; then
      faults=$((faults + 1))
      report+=("SIGTERM after $moment s (in $call): status $status, hidden: ${hidden:-none}, not whole: ${broken:-none}")
      # Gone before the next moment, so that each moment is judged alone.
      find "$card" -mindepth 1 -maxdepth 1 -name '.*' -delete
    else
      report+=("SIGTERM after $moment s (in $call): status 143, nothing hidden, all whole")
    fi
  done
  printf '4. %s\n' "${report[@]}"
  echo "figure: ${#kTermMoments[@]} SIGTERMs, $in_creation found the program creating a file (openat), $faults left a fault"
  signal_faults=$faults
}

# Step 3: a card of 64 KiB fills up part way through 200 groups.
step_full_card() {
  local list=$scratch/600.txt first_failed reasons
  convert "$card" 3 "$list"
  expect_status 1 "the full card"
  first_failed=$(sed -n 's/^無法寫入檔案:output_\([0-9]*\)\.xml$/\1/p' "$scratch/stdout" | head -n 1)
  if [ -z "$first_failed" ] || [ "$first_failed" -le 1 ]; then
    fail "the full card: no group, or the first, failed: $(tail -n 3 "$scratch/stdout")"
  fi
  # fusefat answers a write that finds no free cluster with EPERM, not ENOSPC.
  [ "$(head -n 1 "$scratch/stderr")" = "change_utf8: output_$first_failed.xml: Operation not permitted" ] ||
    fail "the full card: first reason: $(head -n 1 "$scratch/stderr")"
  reasons=$(grep -cv '^change_utf8: output_[0-9]*\.xml: Operation not permitted$' "$scratch/stderr" || true)
  [ "$reasons" -eq 0 ] || fail "the full card: other reasons: $(cat "$scratch/stderr")"
  [ "$(tail -n 1 "$scratch/stdout")" = "轉換未完成，有檔案無法寫入..." ] ||
    fail "the full card: last console line: $(tail -n 1 "$scratch/stdout")"
  expect_nothing_hidden "$card" "the full card"
  [ "$(group_files_in "$card")" = "$(for ((i = 1; i < first_failed; i++)); do echo "output_$i.xml"; done)" ] ||
    fail "the full card: the card holds other group files than output_1.xml to output_$((first_failed - 1)).xml"
  expect_file_bytes "$card/output_1.xml" "$(expected_group 1 1 3)"
  expect_file_bytes "$card/output_$((first_failed - 1)).xml" \
    "$(expected_group $((first_failed - 1)) $((first_failed * 3 - 5)) 3)"
  expect_all_whole "$card" "the full card"
  echo "3. a full card: output_$first_failed.xml failed ($(wc -l <"$scratch/stderr") groups), exit status 1, output_1.xml to output_$((first_failed - 1)).xml whole, nothing hidden"
}

signal_faults=0
echo "card: FAT32 image of 40 MiB mounted with fusefat -o rw+,hard_remove"
mount_card 40M
step_small_conversion
step_conversion
step_shorter_run
step_signals
unmount_card

echo "card: FAT32 image of 64 KiB"
mount_card 64K
step_full_card
unmount_card

[ "$signal_faults" -eq 0 ] ||
  fail "$signal_faults of ${#kTermMoments[@]} SIGTERMs left a hidden temporary file or a broken group file"
echo "memory card: all held"
