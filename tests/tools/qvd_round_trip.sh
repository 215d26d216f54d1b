#!/bin/sh
# morvex qvd on the demo data in a directory of its own: import, export back
# to the same rows, dump in key order, check and info on the imported file.
# Usage: qvd_round_trip.sh MORVEX DATA_DIR
set -eu
morvex=$1
data=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$morvex" qvd import Customer --layout Customer "$data/customers.csv" > import.out
grep -q "^imported 40 records into Customer" import.out || fail "import summary: $(cat import.out)"
[ -f Customer.QVD ] || fail "Customer.QVD was not created"
"$morvex" qvd import Goods "$data/goods.csv" > /dev/null

"$morvex" qvd export Customer -o customers.csv > /dev/null
tr -d '\r' < customers.csv | cmp -s - "$data/customers.csv" || fail "export differs from the imported rows"

# In CUS:ByStartDateName order the dates never decrease.
"$morvex" qvd dump Customer --key CUS:BYSTARTDATENAME > dump.txt
tail -n 1 dump.txt | grep -q "^(40 records)$" || fail "dump count: $(tail -n 1 dump.txt)"
sed '1d;$d' dump.txt | awk '{ if ($NF < last) exit 1; last = $NF }' || fail "dump not in key order"
[ "$(grep -c ' 73274$' dump.txt)" -ge 2 ] || fail "expected several customers starting on 10 August 2001"

"$morvex" qvd check Customer.QVD | grep -q ": ok$" || fail "check did not pass"
"$morvex" qvd info Customer | grep -q "UNNAMED (number" || fail "info lists no table"

# A second import of the same rows collides on CUS:ByName and says where.
if "$morvex" qvd import Customer "$data/customers.csv" > /dev/null 2> again.err; then
    fail "a duplicate import succeeded"
fi
grep -q "line 2: the record was not added: 40" again.err || fail "duplicate report: $(cat again.err)"

# An export never writes over the file it reads, by any name; the file is untouched.
cp Customer.QVD before.QVD
ln -s Customer.QVD link.QVD
for target in Customer.QVD ./Customer.QVD link.QVD "$PWD/Customer.QVD"; do
    if "$morvex" qvd export Customer -o "$target" > self.out 2> self.err; then fail "export over $target succeeded"; fi
    grep -q "cannot write $target: it is open as an input" self.err || fail "self export report: $(cat self.err)"
    cmp -s Customer.QVD before.QVD || fail "export over $target changed the file"
done

# One flipped bit in a record's name ('Z' to 'X'): check names the keys and the record.
"$morvex" qvd export Customer -o intact.csv > /dev/null
cp Customer.QVD intact.QVD
printf 'CUS:CUSID,CUS:NAME\n9999,Zeta Check\n' > one.csv
"$morvex" qvd import Customer one.csv > /dev/null
"$morvex" qvd check Customer | grep -q ": ok$" || fail "check after a further import"
at=$(grep -obUa "Zeta Check" Customer.QVD | head -n 1 | cut -d: -f1)
printf 'X' | dd of=Customer.QVD bs=1 seek="$at" conv=notrunc 2> /dev/null
if "$morvex" qvd check Customer > flipped.out; then fail "check passed a flipped record"; fi
grep -q "^Customer.QVD: key CUS:BYNAME: record 41: no entry for its value$" flipped.out \
    || fail "flipped record report: $(cat flipped.out)"
tail -n 1 flipped.out | grep -q "problems$" || fail "no count of the problems: $(cat flipped.out)"
cp intact.QVD Customer.QVD

# A header whose zones contradict themselves: a writer refuses it, the file stays as it was.
cp Goods.QVD goods_before.QVD
printf '\377\377' | dd of=Goods.QVD bs=1 seek=$((32 + 4 * 40)) conv=notrunc 2> /dev/null
cp Goods.QVD goods_damaged.QVD
if "$morvex" qvd import Goods "$data/goods.csv" > /dev/null 2> damaged_import.err; then fail "import into a damaged header"; fi
grep -q "cannot open Goods: 36 Invalid Data File: Possible data corruption in file (1505)" damaged_import.err \
    || fail "damaged import report: $(cat damaged_import.err)"
cmp -s Goods.QVD goods_damaged.QVD || fail "the import wrote into a damaged file"
if "$morvex" qvd check Goods > check.out; then fail "check passed a damaged header"; fi
grep -q "header: zone 40: starts after its end" check.out || fail "check report: $(cat check.out)"

# A damaged file is reported by check with status 1, not a crash.
printf 'XXXX' | dd of=Goods.QVD bs=1 seek=14 conv=notrunc 2> /dev/null
if "$morvex" qvd check Goods > check.out 2>&1; then fail "check passed a damaged header"; fi

# Damaged pages under an intact header: dump must fail, not list no records;
# export must fail without a partial CSV, leaving an earlier one as it was.
size=$(stat -c %s Customer.QVD)
head -c $((size - 512)) /dev/zero | tr '\0' '\252' | dd of=Customer.QVD bs=512 seek=1 conv=notrunc 2> /dev/null
if "$morvex" qvd dump Customer > damaged.out 2> damaged.err; then fail "dump of damaged pages succeeded"; fi
grep -q "Possible data corruption in file" damaged.err || fail "damaged dump report: $(cat damaged.err)"
cp intact.csv earlier.csv
if "$morvex" qvd export Customer -o earlier.csv > export.out 2> export.err; then fail "export of damaged pages succeeded"; fi
[ ! -s export.out ] || fail "a failed export reported: $(cat export.out)"
grep -q "Possible data corruption in file" export.err || fail "damaged export report: $(cat export.err)"
cmp -s earlier.csv intact.csv || fail "a failed export changed the earlier CSV"
[ "$(ls | grep -c '\.tmp')" -eq 0 ] || fail "a failed export left its temporary file"
echo ok
