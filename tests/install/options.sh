#!/usr/bin/env bash
# XScreenSaver passes the flags of veltrix.xml to the program: each must be one
# the program accepts, at both ends of its slider, and the manual page
# must describe every option --help lists. The page renders without warnings.
# usage: options.sh VELTRIX DIST_DIR
set -euo pipefail
veltrix=$1 dist=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
flags() { grep -o -- '--[a-z][a-z-]*' | sort -u; }

xmllint --noout "$dist/veltrix.xml" || fail "veltrix.xml does not parse"
help=$("$veltrix" --help | flags)
xml=$(xmllint --xpath '//@arg | //@arg-set | //@arg-unset' "$dist/veltrix.xml" | flags)
[ -n "$xml" ] || fail "no flags found in veltrix.xml"
missing=$(comm -23 <(echo "$xml") <(echo "$help"))
[ -z "$missing" ] || fail "veltrix.xml passes flags --help does not list: $missing"

# The parser reads every option before it acts on --help.
accepts() { "$veltrix" "$@" --help >/dev/null 2>&1; }
# Whole attribute values: a choice passes a flag with its value (--power full).
while IFS= read -r args; do
  # shellcheck disable=SC2086 # the words of the value are the arguments
  accepts $args || fail "'$args' is refused"
done < <(xmllint --xpath '//@arg-set | //@arg-unset | //command/@arg' "$dist/veltrix.xml" | grep -o '"[^"]*"' | tr -d '"')
for id in $(xmllint --xpath '//number/@id' "$dist/veltrix.xml" | grep -o '"[a-z]*"' | tr -d '"'); do
  arg=$(xmllint --xpath "string(//number[@id='$id']/@arg)" "$dist/veltrix.xml")
  for end in low high default; do
    value=$(xmllint --xpath "string(//number[@id='$id']/@$end)" "$dist/veltrix.xml")
    accepts ${arg/\%/$value} || fail "'${arg/\%/$value}' is refused"
  done
done

warnings=$(groff -man -Tutf8 -ww -z "$dist/veltrix.6" 2>&1)
[ -z "$warnings" ] || fail "veltrix.6: $warnings"
page=$(groff -man -Tascii -P-cbou "$dist/veltrix.6" 2>/dev/null | flags)
undocumented=$(comm -23 <(echo "$help") <(echo "$page"))
[ -z "$undocumented" ] || fail "veltrix.6 does not describe: $undocumented"
echo "descriptor, --help and manual page agree"
