#!/bin/sh
# Includes between the library's folders run one way: a folder named first
# on a line below never includes the folders after it (desktop/ hands what
# it decodes to identify/, which knows no file format).
# Argument: the library's folder (common/).
set -eu
status=0
while read -r folder forbidden; do
    for other in $forbidden; do
        if grep -n "#include \"$other/" "$1/$folder"/*.h "$1/$folder"/*.cpp; then
            echo "$folder/ includes $other/ (above)"
            status=1
        fi
    done
done <<'RULES'
identify desktop convert runnable
RULES
exit $status
