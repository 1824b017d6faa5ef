#!/usr/bin/env bash
# Peer round trips through zipdrv under Wine: archives made here by Info-ZIP zip, 7z and
# python must list, test and extract equal to their source; damage must fail alone.
# usage: zipdrv_peers.sh ZIPDRV_EXE WINE_RUN
set -uo pipefail
drv=$1
wine_run=$2
for tool in zip 7z python3; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
z() { "$wine_run" "$drv" "$@"; }

mkdir -p src/sub/deeper src/emptydir
head -c 150000 /dev/urandom > src/sub/noise.bin
seq 1 40000 > src/sub/deeper/numbers.txt
printf 'top\r\n' > src/top.txt
: > src/sub/empty.txt

(cd src && zip -qr -P secret ../infozip.zip . && zip -qr -P secret - . > ../streamed.zip &&
  7z a -tzip -mem=ZipCrypto -psecret -bd ../seven.zip . >/dev/null &&
  python3 -c "import zipfile,os
with zipfile.ZipFile('../py.zip','w',zipfile.ZIP_DEFLATED) as z:
  [z.write(os.path.join(r,n)) for r,ds,fs in os.walk('.') for n in ds+fs]" &&
  zip -qr -s 64k ../split.zip .) || { echo "FAIL: peers could not make archives"; exit 1; }

for a in infozip streamed seven py; do
  z test $a.zip -p secret || fail "$a does not test good"
  z extract $a.zip out-$a -p secret -d > $a.log || fail "$a extraction exit $?"
  diff -r src out-$a >/dev/null || fail "$a extracts different"
  [ "$(grep -c '^count' <(z list $a.zip))" = 1 ] || fail "$a does not list"
done

z extract infozip.zip wrong -p guess > wrong.log
[ $? = 1 ] || fail "wrong password does not exit 1"
grep -q '^skip 0 ' wrong.log || fail "wrong password is not reason 0"
[ -z "$(find wrong -type f)" ] || fail "wrong password left a file"

z test split.zip > split.log || fail "split set does not test good"
z extract split.zip out-split -d >> split.log || fail "split set extraction"
diff -r src out-split >/dev/null || fail "split set extracts different"
grep -q '^prompt:' split.log && fail "split set prompted"
mv split.z01 away.z01
start=$SECONDS
z test split.zip > missing.log
[ $? = 2 ] || fail "missing part does not exit 2"
grep -q 'error: EUserCanceled: User canceled loading new disk.' missing.log || fail "missing part message"
[ $((SECONDS - start)) -lt 20 ] || fail "missing part took too long"

# The same parts as disks of a removable drive, each named split.zip and labelled.
mv away.z01 split.z01
parts=(split.z?? split.zip)
disks=
for i in "${!parts[@]}"; do
  n=$((i + 1))
  mkdir -p disk$n
  printf 'PKBACK# %03d' $n > disk$n/.windows-label
  printf '5000000%d' $n > disk$n/.windows-serial
  cp "${parts[$i]}" disk$n/split.zip
  disks="$disks${disks:+,}$work/disk$n"
done
last=${#parts[@]}
z extract 'R:\split.zip' out-span -d --disks "$disks" --first $last --answer ok > span.log || fail "spanned set extraction"
diff -r src out-span >/dev/null || fail "spanned set extracts different"
grep -q '^prompt: Please insert disk 1 of the multi-disk set.' span.log || fail "spanned set did not ask for disk 1"
printf 'PKBACK# 009' > disk2/.windows-label
z test 'R:\split.zip' --disks "$disks" --first $last --answer ok > label.log
[ $? = 2 ] || fail "a wrong label is not refused"
[ "$(grep -c 'insert disk 2' label.log)" -gt 1 ] || fail "a wrong label is not asked again"
z test 'R:\split.zip' --disks "$disks" --first $last > cancel.log
[ $? = 2 ] || fail "a cancelled disk prompt does not exit 2"

# Damage inside the first entry's data: that entry fails, the old file stays, the rest lands.
(cd src && zip -q ../damaged.zip sub/deeper/numbers.txt top.txt)
printf '\x55' | dd of=damaged.zip bs=1 seek=200 conv=notrunc 2>/dev/null
mkdir -p out-damaged && echo old > out-damaged/numbers.txt
z extract damaged.zip out-damaged -o always > damaged.log
[ $? = 1 ] || fail "damaged entry does not exit 1"
grep -q '^badcrc 0' damaged.log || fail "damaged entry not reported"
[ "$(cat out-damaged/numbers.txt)" = old ] || fail "damaged entry replaced the old file"
cmp -s src/top.txt out-damaged/top.txt || fail "entry after the damaged one missing"

if [ $failures = 0 ]; then echo "1 passed, 0 failed"; exit 0; fi
echo "0 passed, 1 failed"
exit 1
