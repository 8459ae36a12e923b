#!/usr/bin/env bash
# Regenerates the .xls fixtures in ../good from these sources with LibreOffice and Gnumeric, and
# their expected cell dumps with xlrd. Run from this folder; commit the results.
set -euo pipefail
profile=$(mktemp -d)
tmp=$(mktemp -d)
soffice -env:UserInstallation=file://$profile --headless --convert-to xls --outdir ../good lo_features.fods
soffice -env:UserInstallation=file://$profile --headless --convert-to xls --outdir ../good lo_arrays.fods
soffice -env:UserInstallation=file://$profile --headless --infilter="CSV:44,34,76,1" --convert-to xls \
    --outdir "$tmp" roster.csv
cp "$tmp/roster.xls" ../good/lo_roster.xls
soffice -env:UserInstallation=file://$profile --headless --convert-to ods --outdir "$tmp" lo_features.fods
ssconvert "$tmp/lo_features.ods" ../good/gnumeric_features.xls
soffice -env:UserInstallation=file://$profile --headless --convert-to ods --outdir "$tmp" lo_arrays.fods
ssconvert "$tmp/lo_arrays.ods" ../good/gnumeric_arrays.xls
ssconvert roster.csv ../good/gnumeric_roster.xls
for f in ../good/*.xls; do
    /usr/bin/python3 ../../../workbook/xls/xlrd_dump.py "$f" >"${f%.xls}.xlrd.txt"
done
rm -rf "$profile" "$tmp"
