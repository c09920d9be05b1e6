# shellcheck shell=bash
# The i386 Debian root that the 32-bit Wine stage runs in, shared by
# scripts/wine32.sh (a chroot, where the kernel runs 32-bit code) and
# scripts/vm32.sh (a virtual machine's disk, where it does not). Sourced, not
# run.
#
# What is slow to make lives in a cache outside the clone, one entry per key:
# the key is a hash of what the entry is made from (the suite, the package
# list, the code that makes it), so a change to any of them makes a new entry
# and an old clone keeps finding its own.
#   VANTOR_CACHE_DIR   the cache (default /var/cache/vantor-crystal)

cache_dir=${VANTOR_CACHE_DIR:-/var/cache/vantor-crystal}
root_suite=bookworm
# Beyond minbase: Wine and what its windows need to draw and measure text as
# the machine's own Wine does, ctest to run a build's suites inside, and a
# display server for a machine that has none of its own.
root_pkgs=(wine wine32 fonts-wine fonts-liberation fonts-dejavu-core fonts-wqy-microhei
           libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
           libxext6 cmake xvfb)

# The Debian mirror apt uses on this machine.
root_mirror() {
  local m
  m=$(grep -hE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '{print $2}' | grep -E '/debian/?$' | head -1)
  [ -n "$m" ] || m=$(grep -hE '^deb ' /etc/apt/sources.list 2>/dev/null |
                       awk '{print $2}' | grep -E '/debian/?$' | head -1)
  echo "${m:-http://deb.debian.org/debian}"
}

# root_first_stage DIR LOG: unpacks minbase and downloads every package of the
# list with its dependencies into DIR, on this machine (no i386 code runs);
# DIR's own /debootstrap/debootstrap --second-stage then installs them all
# without a network.
root_first_stage() {
  local dir=$1 log=$2 pkgs
  pkgs=$(IFS=,; echo "${root_pkgs[*]}")
  command -v debootstrap >/dev/null || { echo "debootstrap is missing (scripts/deps.sh all)" >&2; return 1; }
  rm -rf "$dir"
  unshare --mount --propagation private debootstrap --foreign --arch=i386 --variant=minbase \
    --include="$pkgs" "$root_suite" "$dir" "$(root_mirror)" >"$log" 2>&1 ||
    { tail -20 "$log" >&2; return 1; }
  # The first stage leaves /proc a link to this machine's own; a root that
  # boots mounts one there.
  if [ -L "$dir/proc" ]; then rm "$dir/proc" && mkdir "$dir/proc"; fi
  # Tells scripts/wine32.sh that it runs inside the 32-bit system.
  touch "$dir/etc/vantor-i386-root"
}

# root_key TEXT...: the cache key of an entry made by root_first_stage and
# then by the code in TEXT.
root_key() {
  { echo "$root_suite"; declare -p root_pkgs; declare -f root_first_stage; printf '%s\n' "$@"; } |
    sha256sum | cut -c1-16
}

# cache_use ENTRY: marks ENTRY used now, and drops the entries beside it
# that no run has used for two weeks (made by older scripts).
cache_use() {
  touch "$1/.used" 2>/dev/null
  find "$cache_dir" -mindepth 2 -maxdepth 2 -name .used -mtime +14 -printf '%h\n' 2>/dev/null |
    while read -r old; do rm -rf "$old" "$old.lock"; done
}
