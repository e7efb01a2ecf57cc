#!/bin/sh
# The checker's documents for programs, read by the programs they are for:
# --format sarif must pass the SARIF authors' validator, and --format
# checkstyle must be well-formed XML of the checkstyle structure.
# Usage: machine-formats.sh sarif|checkstyle CHECKER
# Exits 77 (skipped) when the SARIF validator is missing outside CI.
set -u
format=$1
checker=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# An installation whose findings have lines and have none, about files whose
# names need escaping (a blank, a colon, "&", a byte that is not UTF-8), and
# an application that cannot be checked at all.
odd=$(printf 'caf\351 & co:1')
mkdir -p "$work/ws/apps/shop" "$work/ws/apps/$odd" "$work/ws/eclipse"
printf '\357\273\277launcher = /opt/x\n-Ddv.webApp=<shop>\n-vmargs\n-Dnul=a\000b\n-Dctl=\001\n-D\377=1\n# c\n' \
    >"$work/ws/apps/shop/run.ini"
printf -- '-Xmx1g\n' >"$work/ws/apps/$odd/run.ini"
cd "$work/ws" || exit 1
"$checker" --format "$format" --severity note apps/shop "apps/$odd" "$work/ws/apps/none" \
    "$work/ws/apps/shop/run.ini" >"$work/out.$format" 2>"$work/err"
status=$?
if [ "$status" -ne 2 ] || [ -s "$work/err" ]; then
    echo "FAIL: exit status $status (want 2: one application cannot be checked)"
    cat "$work/err"
    exit 1
fi

case $format in
sarif)
    validator=""
    if command -v npm >/dev/null 2>&1 && command -v node >/dev/null 2>&1; then
        package="$(npm root -g 2>/dev/null)/@microsoft/sarif-multitool"
        # The package's own launcher passes its arguments through a shell;
        # the binary it names is run directly.
        [ -f "$package/package.json" ] &&
            validator=$(node -e 'process.stdout.write(require(process.argv[1]))' "$package")
    fi
    if [ -z "$validator" ] || [ ! -x "$validator" ]; then
        if [ -n "${CI:-}" ]; then
            echo "FAIL: the SARIF validator is missing (scripts/deps.sh installs it)"
            exit 1
        fi
        echo "SKIP: no @microsoft/sarif-multitool (scripts/deps.sh installs it)"
        exit 77
    fi
    # It reads only files named *.sarif.
    "$validator" validate "$work/out.sarif" --output "$work/validation.sarif" --log ForceOverwrite \
        --level "Error;Warning;Note" --quiet >"$work/validator.log" 2>&1 || {
        echo "FAIL: the validator did not run"
        cat "$work/validator.log"
        exit 1
    }
    # The validator exits 0 whatever it finds: its own SARIF log says. A
    # document it cannot read yields no result at all, not even its notes.
    # Two warnings are expected: the checker has no web page to give as
    # informationUri, and a finding about a directory or an executable has
    # no lines to give as its region.
    node -e '
        const log = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
        const results = log.runs[0].results || [];
        const allowed = new Set(["SARIF2005", "SARIF2017"]);
        const bad = results.filter((r) => (r.level || "warning") === "error" ||
            ((r.level || "warning") === "warning" && !allowed.has(r.ruleId)));
        for (const r of bad) {
            console.log(r.level || "warning", r.ruleId, JSON.stringify(r.message.arguments));
        }
        if (results.length === 0) {
            console.log("the validator read nothing of the document");
        }
        process.exit(bad.length === 0 && results.length > 0 ? 0 : 1);
    ' "$work/validation.sarif" || {
        echo "FAIL: --format sarif does not pass the validator"
        exit 1
    }
    ;;
checkstyle)
    xmllint --noout "$work/out.$format" || {
        echo "FAIL: --format checkstyle is not well-formed XML"
        cat "$work/out.$format"
        exit 1
    }
    count() {
        xmllint --xpath "$1" "$work/out.$format"
    }
    # The structure CI servers read: <checkstyle><file name><error .../>.
    for check in \
        "count(/checkstyle[@version])=1" \
        "count(/checkstyle/*[name()!='file'])=0" \
        "count(/checkstyle/file[not(@name)])=0" \
        "count(/checkstyle/file/*[name()!='error'])=0" \
        "count(//error)>=8" \
        "count(//error[not(@severity='error' or @severity='warning' or @severity='info')])=0" \
        "count(//error[not(starts-with(@source,'dashvane-launcher-check.'))])=0" \
        "count(//error[not(@message)])=0" \
        "count(//error[@line and not(number(@line)>=1)])=0" \
        "count(//file[@name='apps/shop/run.ini']/error[@line='2'])=1" \
        "count(//file[@name='apps/shop/run.ini']/error[@line='1'][@source='dashvane-launcher-check.byte-order-mark'])=1" \
        "count(//file[starts-with(@name,'apps/caf\\xe9 & co:1')])>=1" \
        "count(//error[@source='dashvane-launcher-check.cannot-check'])=1"; do
        [ "$(count "$check")" = true ] || {
            echo "FAIL: $check"
            cat "$work/out.$format"
            exit 1
        }
    done
    ;;
*)
    echo "usage: machine-formats.sh sarif|checkstyle CHECKER" >&2
    exit 2
    ;;
esac
