#!/bin/sh
# What users write instead of the launcher, for the launch benchmark: a POSIX
# sh script, named like the launcher copy plus ".sh", that builds the same
# argument vector from the same ini file and starts the same executable.
app=$(pwd -P)
eclipse=$(dirname "$(dirname "$app")")/eclipse
name=$(basename "$app")
ini=${0%.sh}.ini
exe=$eclipse/Dashvane

n=$#
head=true
launcher_taken=false
webapp=false
while IFS= read -r line; do
    if [ "$head" = true ]; then
        case $line in
        -vmargs) head=false ;;
        launcher=*)
            if [ "$launcher_taken" = false ]; then
                exe=${line#launcher=}
                launcher_taken=true
            fi
            ;;
        esac
        continue
    fi
    case $line in
    '') ;;
    -Ddv.appInitScript=* | -Ddv.appProgramFile=* | -Ddv.appConfigFile=*)
        key=${line%%=*}
        value=${line#*=}
        case $value in
        /*) ;;
        *) value=$app/$value ;;
        esac
        set -- "$@" "$key=$value"
        ;;
    -Ddv.webApp | -Ddv.webApp=*)
        webapp=true
        set -- "$@" "$line"
        ;;
    *) set -- "$@" "$line" ;;
    esac
done <<EOF_INI
$(sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' "$ini" 2>/dev/null)
EOF_INI
if [ "$webapp" = false ]; then
    set -- "$@" "-Ddv.webApp=$name"
fi
# The command-line arguments go last: rotate them behind the ini file's.
while [ "$n" -gt 0 ]; do
    set -- "$@" "$1"
    shift
    n=$((n - 1))
done
(cd "$eclipse" && exec "$exe" --launcher.appendVmargs -vmargs "$@") &
exit 1
