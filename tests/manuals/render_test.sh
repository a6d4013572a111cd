#!/bin/bash
# render_test.sh PAGE PROGRAM
# Renders the manual page PAGE with man at 80 columns, in a UTF-8 and in the
# C locale, and fails on any warning of man or groff.  The rendered page must
# have the sections of a command's manual, and the page must describe every
# switch that PROGRAM --help lists.
set -u
page=$1 program=$2
fail() { echo "FAILED: $(basename "$page"): $*"; exit 1; }
command -v man > /dev/null || fail "man is not installed (Debian packages man-db and groff-base)"

work=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$work"' EXIT

for locale in C.UTF-8 C; do
  LC_ALL=$locale MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings -l "$page" > "$work/page.txt" 2> "$work/warnings.txt" \
    || fail "man exited with status $? ($locale)"
  [ -s "$work/warnings.txt" ] && { cat "$work/warnings.txt"; fail "warnings when rendered ($locale)"; }
done

for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  grep -qx "$section" "$work/page.txt" || fail "no section $section"
done

# Switches of the --help text: a dash and a word, after a blank, a tab, a
# bracket or a parenthesis.  In the page source a switch is written \-word.
"$program" --help > "$work/help.txt" 2>&1 || fail "$program --help exited with status $?"
switches=$(grep -oE '(^|[[:space:][(])-[A-Za-z][A-Za-z0-9_]*' "$work/help.txt" | sed 's/^[^-]*-//' | sort -u)
for switch in $switches; do
  grep -qiE "\\\\-${switch}([^A-Za-z0-9_]|\$)" "$page" || fail "switch -$switch of --help is not in the page"
done
echo "$(basename "$page"): rendered without warnings; switches: $(echo $switches)"
