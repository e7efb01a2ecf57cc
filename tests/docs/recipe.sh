#!/bin/sh
# Prints the README's recipe for one file: the lines of the fenced block whose
# first line, or second after a "#!" line, is "# NAME". The tests run the
# recipes the README gives, so they never drift apart.
# Usage: recipe.sh DOCUMENT NAME
set -u
awk -v name="# $2" '
    /^```/ {
        if (inblock) { if (found) exit; inblock = 0 } else { inblock = 1; n = 0 }
        next
    }
    inblock {
        n++
        line[n] = $0
        if ((n == 1 || (n == 2 && line[1] ~ /^#!/)) && $0 == name) {
            found = 1
            for (i = 1; i <= n; i++) print line[i]
            next
        }
        if (found) print
    }
    END { if (!found) exit 1 }' "$1" || {
    echo "recipe.sh: no recipe \"# $2\" in $1" >&2
    exit 1
}
