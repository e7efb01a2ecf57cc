#!/bin/sh
# A manual page must render without a single warning.
# Usage: check-manpage.sh PAGE...
set -u
status=0
for page in "$@"; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    if [ $? -ne 0 ] || [ -n "$warnings" ]; then
        echo "FAIL: $page"
        echo "$warnings"
        status=1
    fi
done
exit $status
