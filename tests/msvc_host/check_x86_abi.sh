#!/bin/bash
# 32-bit x86: the interfaces as clang lays them out for an MSVC host and as
# i686 MinGW g++ lays them out for the library must agree slot by slot, and
# every operation must clear its own arguments off the stack (thiscall) by
# the same number of bytes under both.
#   check_x86_abi.sh CLANGXX I686_GXX OBJDUMP SOURCE_DIR WORK_DIR
set -uo pipefail
clang=$1 gxx=$2 objdump=$3 src=$4 work=$5
mkdir -p "$work"
cd "$work" || exit 1
probe=$src/tests/msvc_host/abi_probe.cpp
inc=(-I"$src/include" -I"$src/src/core")
"$clang" --target=i686-pc-windows-msvc -fms-extensions -fms-compatibility -ffreestanding \
  -fno-sized-deallocation -O1 "${inc[@]}" -c "$probe" -o msvc.obj \
  -Xclang -fdump-vtable-layouts >msvc_layout.txt || exit 1
"$gxx" -std=c++17 -O1 "${inc[@]}" -c "$probe" -o gxx.o -fdump-lang-class=gxx_layout.txt || exit 1

fail=0
slots=0
for class in CProbeAction CRfTesterTableAdapter CDriver1TableAdapter; do
  # MSVC: "  6 | int CRfTesterTableAdapter::BeginAction(intptr_t)"; slot 0 the
  # scalar deleting destructor.
  awk -v c="$class" '
    $0 ~ "^VFTable indices for '\''" c "'\''" { on = 1; next }
    on && /^$/ { exit }
    on && /\|/ {
      n = $1; s = $0
      if (s ~ /scalar deleting/) { print n, "~"; next }
      sub(/\(.*/, "", s); sub(/.*::/, "", s); print n, s
    }' msvc_layout.txt >"msvc_$class.txt"
  # g++: "32    (int (*)(...))CRfTesterTableAdapter::BeginAction", byte offsets
  # from the vtable's start, the address point two words in.
  awk -v c="$class" '
    $0 ~ "^Vtable for " c "$" { on = 1; next }
    on && /^$/ { exit }
    on && /\(\*\)\(\.\.\.\)\)/ {
      off = $1; s = $0; sub(/.*\)\)/, "", s)
      if (off < 8) next
      n = (off - 8) / 4
      if (s ~ /ScalarDeletingDestructor/) s = "~"
      else { sub(/.*::/, "", s) }
      print n, s
    }' gxx_layout.txt >"gxx_$class.txt"
  count=$(wc -l <"msvc_$class.txt")
  if [ "$count" -lt 2 ]; then
    echo "no MSVC vtable found for $class"
    fail=1
    continue
  fi
  # The g++ vtable holds MSVC's slots first; its own two destructor slots
  # come after them.
  if ! diff <(cat "msvc_$class.txt") <(head -n "$count" "gxx_$class.txt") >"diff_$class.txt"; then
    echo "$class: vtable slots differ (MSVC < > g++):"
    cat "diff_$class.txt"
    fail=1
  fi
  slots=$((slots + count))
done

# The bytes each operation pops on return ("retl $8"; a plain "retl" pops 0).
rets() {
  "$objdump" -d --demangle "$1" | awk '
    /^[0-9a-f]+ </ {
      f = ""
      if (match($0, /C[A-Za-z0-9]+::[A-Za-z0-9~]+\(/)) f = substr($0, RSTART, RLENGTH - 1)
      if ($0 ~ /__cdecl|__stdcall|__fastcall/ && f != "") print f, "not-thiscall"
      next
    }
    f != "" && /\tretl/ { n = 0; if (match($0, /\$[0-9]+/)) n = substr($0, RSTART + 1, RLENGTH - 1); print f, n }
  ' | sort -u
}
rets msvc.obj | grep -v "~\|TableAdapter::TableAdapter\|Call<" >msvc_rets.txt
rets gxx.o | grep -v "~\|TableAdapter::TableAdapter\|Call<" >gxx_rets.txt
functions=$(wc -l <msvc_rets.txt)
if [ "$functions" -lt 40 ] || ! diff msvc_rets.txt gxx_rets.txt >diff_rets.txt; then
  echo "stack clean-up differs or is missing (MSVC < > g++):"
  cat diff_rets.txt
  fail=1
fi
if [ $fail -eq 0 ]; then
  echo "x86 ABI: $slots vtable slots and the stack clean-up of $functions operations agree"
fi
exit $fail
