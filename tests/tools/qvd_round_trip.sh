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

# A damaged file is reported by check with status 1, not a crash.
printf 'XXXX' | dd of=Goods.QVD bs=1 seek=14 conv=notrunc 2> /dev/null
if "$morvex" qvd check Goods > check.out 2>&1; then fail "check passed a damaged header"; fi

# Damaged pages under an intact header: dump must fail, not list no records.
size=$(stat -c %s Customer.QVD)
head -c $((size - 512)) /dev/zero | tr '\0' '\252' | dd of=Customer.QVD bs=512 seek=1 conv=notrunc 2> /dev/null
if "$morvex" qvd dump Customer > damaged.out 2> damaged.err; then fail "dump of damaged pages succeeded"; fi
grep -q "Possible data corruption in file" damaged.err || fail "damaged dump report: $(cat damaged.err)"
echo ok
