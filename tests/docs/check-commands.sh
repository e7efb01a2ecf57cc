#!/bin/sh
# Reads the command lines of the given documents (the lines of ```sh blocks,
# and lines after a "$ " prompt in any block) and fails when one names a file
# of the source tree that is missing, or runs one that is not executable. A
# checkout has the modes git stores, so CI holds them to git. A script named in a code span of the text must be there
# and executable too. Paths into build and output folders are not the tree's.
# Usage: check-commands.sh SOURCE_DIR DOCUMENT...
set -u
src=$1
shift
failures=0

check() { # DOCUMENT LINE WORD ROLE
    path=${3#./}
    top=${path%%/*}
    case $path in */*) ;; *) return ;; esac
    # Patterns and paths out of the tree are not the tree's files.
    case $path in ..* | *[*?[\<\$]*) return ;; esac
    case $top in '' | build* | dist | obj-* | ws) return ;; esac
    [ -d "$src/$top" ] || return
    if [ ! -e "$src/$path" ]; then
        echo "FAIL: $1: \"$2\" names $path, which is missing"
        failures=$((failures + 1))
        return
    fi
    # A command, and any script, must run as it is named.
    case $4:$path in command:* | *:*.sh) ;; *) return ;; esac
    if [ ! -x "$src/$path" ]; then
        echo "FAIL: $1: \"$2\" runs $path, which is not executable"
        failures=$((failures + 1))
    fi
}

list=$(mktemp)
trap 'rm -f "$list"' EXIT
for doc in "$@"; do
    # One line per word: document, role (command or argument), word, line.
    awk -v doc="${doc#"$src"/}" '
        /^```/ { if (inblock) { inblock = 0 } else { inblock = 1; sh = ($0 ~ /^```sh/) } next }
        # Outside the blocks, code spans name files too: each must be there.
        !inblock {
            text = $0
            while (match(text, /`[^`]+`/)) {
                m = split(substr(text, RSTART + 1, RLENGTH - 2), words, /[ \t]+/)
                for (w = 1; w <= m; w++)
                    printf "%s\t%s\t%s\t%s\n", doc, "argument", words[w], $0
                text = substr(text, RSTART + RLENGTH)
            }
            next
        }
        sh { line = $0 }
        !sh && /^\$ / { line = substr($0, 3) }
        !sh && !/^\$ / { next }
        {
            sub(/[ \t]+#.*/, "", line)
            n = split(line, cmds, /&&|\|\||;|\|/)
            for (c = 1; c <= n; c++) {
                role = "command"
                m = split(cmds[c], words, /[ \t]+/)
                for (w = 1; w <= m; w++) {
                    word = words[w]
                    if (word == "") continue
                    if (word ~ /=/) {
                        if (role == "command") continue
                        sub(/^[^=]*=/, "", word)
                    }
                    printf "%s\t%s\t%s\t%s\n", doc, role, word, line
                    role = "argument"
                }
            }
        }' "$doc" >>"$list"
done
tab=$(printf '\t')
while IFS=$tab read -r doc role word line; do
    check "$doc" "$line" "$word" "$role"
done <"$list"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "ok: every file the command lines of $* name is there, and those they run are executable"
