#!/bin/sh
# The manual page's KINDS entries are exactly what the checker prints with
# --list-kinds --format man, so the page cannot drift from the catalogue.
# Usage: check-man-kinds.sh PAGE CHECKER [--write]
# With --write the entries in PAGE are replaced by the checker's.
set -u
# The marker lines around the entries, in roff comments.
page=$1
checker=$2
begin='.\" kinds: begin'
end='.\" kinds: end'
generated=$("$checker" --list-kinds --format man) || {
    echo "FAIL: $checker --list-kinds --format man"
    exit 1
}
grep -qxF "$begin" "$page" && grep -qxF "$end" "$page" || {
    echo "FAIL: $page has no lines '$begin' and '$end'"
    exit 1
}
if [ "${3:-}" = --write ]; then
    entries=$(mktemp) || exit 1
    printf '%s\n' "$generated" >"$entries"
    BEGIN_LINE=$begin END_LINE=$end ENTRIES=$entries awk '
        $0 == ENVIRON["BEGIN_LINE"] {
            print
            while ((getline line < ENVIRON["ENTRIES"]) > 0) print line
            skip = 1
            next
        }
        $0 == ENVIRON["END_LINE"] { skip = 0 }
        !skip' "$page" >"$page.new" && mv "$page.new" "$page"
    status=$?
    rm -f "$entries"
    exit $status
fi
# Through the environment: awk -v would read the backslash as an escape.
inPage=$(BEGIN_LINE=$begin END_LINE=$end awk '
    $0 == ENVIRON["END_LINE"] { inside = 0 }
    inside
    $0 == ENVIRON["BEGIN_LINE"] { inside = 1 }' "$page")
if [ "$inPage" != "$generated" ]; then
    echo "FAIL: the KINDS entries of $page differ from the checker's; regenerate them with"
    echo "  sh tests/docs/check-man-kinds.sh docs/dashvane-launcher-check.1 build/dashvane-launcher-check --write"
    printf '%s\n' "$inPage" >"${TMPDIR:-/tmp}/man-kinds.page.$$"
    printf '%s\n' "$generated" | diff -u "${TMPDIR:-/tmp}/man-kinds.page.$$" - | head -40
    rm -f "${TMPDIR:-/tmp}/man-kinds.page.$$"
    exit 1
fi
