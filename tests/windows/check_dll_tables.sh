#!/bin/sh
# Fails unless the DLL is what a Windows host can load and call:
#   check_dll_tables.sh OBJDUMP DLL FORMAT
# - FORMAT (pei-i386 for the hosts' 32-bit DLL) is the file's format;
# - it exports exactly Deck, Draw, Count, Check and Shuffle, by those undecorated names;
# - it imports from system DLLs only (no runtime DLL that a user would have to ship);
# - for 32-bit, each export is a C-convention function: its code symbol carries the C
#   convention's mark (a leading underscore and no "@bytes" suffix), and it returns with a
#   plain "ret", leaving the arguments to the caller.
set -eu
objdump=$1
dll=$2
format=$3

fail() {
  echo "FAIL: $*"
  exit 1
}

headers=$("$objdump" -p "$dll")

echo "$headers" | grep -q "file format $format\$" ||
  fail "$dll is not $format: $(echo "$headers" | grep 'file format')"

expected="Check Count Deck Draw Shuffle"
exports=$(echo "$headers" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[[:space:]]*$/ { inside = 0 }
  inside { print $NF }' | sort | tr '\n' ' ' | sed 's/ $//')
echo "exports: $exports"
[ "$exports" = "$expected" ] || fail "expected exactly the exports: $expected"

imports=$(echo "$headers" | awk '/DLL Name:/ { print $NF }' | sort -f | tr '\n' ' ' | sed 's/ $//')
echo "imports: $imports"
[ -n "$imports" ] || fail "no import table found"
for dll_name in $imports; do
  case $(echo "$dll_name" | tr 'A-Z' 'a-z') in
    kernel32.dll | msvcrt.dll | winmm.dll | advapi32.dll | bcrypt.dll | user32.dll | ntdll.dll) ;;
    *) fail "imports $dll_name, which is no system DLL" ;;
  esac
done

# The entry point tells the loader to spare the DLL thread notices.
echo "$headers" | grep -q '[[:space:]]DisableThreadLibraryCalls$' ||
  fail "DisableThreadLibraryCalls is not imported: the entry point does not call it"

if [ "$format" = pei-i386 ]; then
  code=$("$objdump" -d --no-show-raw-insn "$dll")
  for name in $expected; do
    echo "$code" | grep -q "^[0-9a-f]* <_$name>:\$" ||
      fail "$name has no C-convention code symbol _$name (stripped, or another convention)"
    if echo "$code" | grep -q "^[0-9a-f]* <_$name@[0-9]*>:\$"; then
      fail "$name is also defined with the callee-cleans convention (_$name@N)"
    fi
    returns=$(echo "$code" | awk -v symbol="<_$name>:" '
      $2 == symbol { inside = 1; next }
      inside && /^$/ { exit }
      inside && $2 == "ret" { print $0 }')
    [ -n "$returns" ] || fail "no return instruction found in $name"
    if echo "$returns" | grep -q 'ret *\$'; then
      fail "$name removes its own arguments: $returns"
    fi
  done
  echo "calling convention: C (caller removes the arguments) for $expected"
fi
echo "OK: $dll"
