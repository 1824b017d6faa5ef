#!/usr/bin/env bash
# A split set of Info-ZIP zip read by zipdrv under Wine as disks of a removable drive R: with
# real labels and serials: each disk is asked for, a wrong label is refused and asked again, a
# refused prompt cancels. Peer archives, passwords and damage are the in-process tests'.
# usage: zipdrv_peers.sh ZIPDRV_EXE WINE_RUN
source "$(dirname "${BASH_SOURCE[0]}")/zipdrv_start.sh" "$@" zip

mkdir -p src/sub/deeper src/emptydir
head -c 150000 /dev/urandom > src/sub/noise.bin
seq 1 40000 > src/sub/deeper/numbers.txt
printf 'top\r\n' > src/top.txt
: > src/sub/empty.txt

(cd src && zip -qr -s 64k ../split.zip .) || { echo "FAIL: zip could not make the split set"; exit 1; }

# The same parts as disks of a removable drive, each named split.zip and labelled.
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

finish
