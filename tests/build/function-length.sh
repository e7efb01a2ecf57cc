#!/bin/sh
# Lists the functions of the C++ sources under DIR longer than LIMIT lines,
# from the first line of the signature to the closing brace, and fails when
# there is one. A function that only builds a table and returns it (two
# statements, the first an initialiser in braces) is data and left out.
# Functions defined inside a class body are not measured. Exits 1 when a
# function is too long, 2 when the braces of a file cannot be followed or no
# function is found at all.
# Usage: function-length.sh DIR [LIMIT]
set -eu
dir=$1
limit=${2:-60}
files=$(find "$dir" -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
[ -n "$files" ] || { echo "no sources under $dir" >&2; exit 2; }
# shellcheck disable=SC2086
awk -v limit="$limit" '
function reset() { stmt = ""; start = 0 }
function balanced() {
    if (depth != 0 || paren != 0) {
        printf "%s: the braces could not be followed\n", previous > "/dev/stderr"
        broken = 1
    }
}
FNR == 1 {
    if (previous != "") balanced()
    previous = FILENAME
    depth = 0; nsdepth = 0; paren = 0; incomment = 0; reset(); fn = 0
}
{
    line = $0
    # Preprocessor lines, with their continuations.
    if (macro || (!incomment && line ~ /^[ \t]*#/)) {
        macro = line ~ /\\$/
        next
    }
    # Comments and literals, so that their braces and parentheses do not count.
    out = ""
    i = 1
    n = length(line)
    while (i <= n) {
        c = substr(line, i, 1)
        two = substr(line, i, 2)
        if (incomment) {
            if (two == "*/") { incomment = 0; i += 2 } else { i++ }
            continue
        }
        if (two == "//") break
        if (two == "/*") { incomment = 1; i += 2; continue }
        if (c == "\"" || c == "\047") {
            q = c
            i++
            while (i <= n && substr(line, i, 1) != q) {
                if (substr(line, i, 1) == "\\") i++
                i++
            }
            i++
            out = out q q
            continue
        }
        out = out c
        i++
    }
    for (i = 1; i <= length(out); i++) {
        c = substr(out, i, 1)
        top = depth == nsdepth
        inbody = fn && depth == nsdepth + 1
        if (top && start == 0 && c !~ /[ \t]/) start = FNR
        if (c == "{") {
            if (top && paren == 0) {
                if (stmt ~ /^[ \t]*(namespace|extern)/) {
                    nsdepth++
                    depth++
                    reset()
                    continue
                }
                fn = 0
                head = stmt
                sub(/operator[^(]*/, "operator", head)
                if (head ~ /\(/ && head !~ /^[ \t]*(class|struct|enum|union)[ \t]/) {
                    before = head
                    sub(/\(.*/, "", before)
                    if (before !~ /=/) { fn = 1; fnstart = start; fnname = before; body = ""; statements = 0 }
                }
            }
            depth++
        } else if (c == "}") {
            depth--
            if (depth < nsdepth) { nsdepth = depth; reset(); continue }
            if (depth == nsdepth && paren == 0) {
                functions += fn
                table = statements <= 2 && body ~ /= *\{/
                if (fn && FNR - fnstart + 1 > limit && !table) {
                    gsub(/^[ \t]+|[ \t]+$/, "", fnname)
                    printf "%s:%d: %s: %d lines\n", FILENAME, fnstart, fnname, FNR - fnstart + 1
                    found = 1
                }
                fn = 0
                reset()
            }
        } else if (top) {
            if (c == "(") paren++
            if (c == ")") paren--
            if (c == ";" && paren == 0) { reset(); continue }
        }
        if (top) stmt = stmt c
        if (inbody) {
            if (c == ";") statements++
            if (statements == 0) body = body c
        }
    }
    if (depth == nsdepth) stmt = stmt " "
}
END {
    balanced()
    if (functions == 0) {
        print "no function found: the sources could not be read" > "/dev/stderr"
        broken = 1
    }
    if (broken) exit 2
    if (!found) printf "%d functions, none longer than %d lines\n", functions, limit
    exit found
}
' $files
