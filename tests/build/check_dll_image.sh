#!/usr/bin/env bash
# Checks what the shipped plug-in file is made of, as a host's loader sees it:
# a PE32 i386 DLL, one export (GetFilterTable at ordinal 1), imports only from
# Windows system DLLs and Direct3D 9 (D3DX is loaded when the engine starts,
# not imported), a version resource, and no SSE2 instruction (the plug-in
# runs on processors without it; only its SSE converters use SSE, chosen
# when the processor has it).
# usage: check_dll_image.sh kelvo.auf OBJDUMP
set -u
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

"$objdump" -f "$dll" | grep -q 'file format pei-i386' || fail "not a PE32 i386 image"
grep -q 'Characteristics.*' <<<"$headers" && grep -q 'DLL' <<<"$headers" || fail "not marked as a DLL"

# Export table: exactly one name, GetFilterTable, at ordinal 1.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next}
               on && /^[[:space:]]*\[/{print} on && /^[[:space:]]*$/{on=0}' <<<"$headers")
names=$(sed -E 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+//' <<<"$exports" | sort -u)
[ "$names" = "GetFilterTable" ] || fail "exports are '$names', expected only GetFilterTable"
ordinal_base=$(sed -nE 's/^Ordinal Base\s+([0-9]+).*/\1/p' <<<"$headers")
[ "$ordinal_base" = "1" ] || fail "ordinal base is '$ordinal_base', expected 1"
address_count=$(awk '/Export Address Table --/{on=1; next} on && /\[[[:space:]]*[0-9]+\]/{n++}
                     on && /^[[:space:]]*$/{on=0} END{print n+0}' <<<"$headers")
[ "$address_count" = "1" ] || fail "$address_count entries in the export address table, expected 1"

# Imports: system DLLs and Direct3D only; the C++ runtime is linked in.
allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|version|d3d9)\.dll$'
imports=$(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "no import table found"
for name in $imports; do
  grep -qE "$allowed" <<<"$name" || fail "imports $name"
done

# Resources: a version resource (type 16) at the top level of the tree.
sed -n '/Resource Directory section/,$p' <<<"$headers" | grep -qE '^[0-9a-f]+   Entry: ID: 0x0*10,' \
  || fail "no version resource in the resource directory"

# Scalar and packed double arithmetic, and SSE2's integer forms on XMM
# registers: what a file compiled for SSE2 brings in.
sse2=$("$objdump" -d "$dll" | grep -cE $'\t(movsd|movapd|movupd|addsd|subsd|mulsd|divsd|sqrtsd|ucomisd|comisd|cvtsd2ss|cvtss2sd|cvtsi2sd|cvttsd2si|cvtsd2si|andpd|orpd|xorpd|unpcklpd|paddd|psubd|pxor|movdqa|movdqu)[[:space:]]+[^;]*%xmm')
[ "$sse2" -eq 0 ] || fail "$sse2 SSE2 instructions in the plug-in"

echo "exports: $names (ordinal base $ordinal_base)"
echo "imports: $(echo $imports)"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
