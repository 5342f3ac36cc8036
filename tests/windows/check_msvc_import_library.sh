#!/bin/sh
# Proves that the MSVC-format import library names every export: a probe that takes the address
# of each name and needs no C runtime is compiled for the MSVC target, linked by lld-link against
# the import library alone (an unresolved name fails the link), checked for each import, and
# run under Wine beside the DLL (the loader resolves every import, or the probe fails to start).
#   check_msvc_import_library.sh IMPORT_LIB DLL WORK_DIR NAMES.inc...
set -eu
lib=$1 dll=$2 work=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
names=$(sed -n 's/^CORVO_EXPORT_ENTRY(\([A-Za-z0-9_]*\)).*/\1/p' "$@")
count=$(echo "$names" | wc -l)
{
    for name in $names; do echo "extern void $name(void);"; done
    echo "static void (*const every_export[])(void) = {"
    for name in $names; do echo "    $name,"; done
    echo "};"
    echo "int start(void) {"
    echo "    volatile unsigned i, found = 0;"
    echo "    for (i = 0; i < $count; ++i) found += every_export[i] != 0;"
    echo "    return found == $count ? 0 : 1;"
    echo "}"
} >"$work/probe.c"
clang --target=x86_64-pc-windows-msvc -ffreestanding -fno-builtin -O0 \
    -c "$work/probe.c" -o "$work/probe.obj"
lld-link /nologo /entry:start /subsystem:console /nodefaultlib \
    /out:"$work/probe.exe" "$work/probe.obj" "$lib"

imports=$(x86_64-w64-mingw32-objdump -p "$work/probe.exe")
missing=0
for name in $names; do
    if ! echo "$imports" | grep -Eq "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$name\$"; then
        echo "not imported: $name" >&2
        missing=$((missing + 1))
    fi
done
cp "$dll" "$work/"
if ! wine "$work/probe.exe"; then
    echo "the probe did not run against $(basename "$dll")" >&2
    missing=$((missing + 1))
fi
echo "$count names through $(basename "$lib"): $((count - missing)) passed, $missing failed"
[ "$missing" -eq 0 ]
