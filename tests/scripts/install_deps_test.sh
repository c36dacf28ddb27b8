#!/usr/bin/env bash
# scripts/install-deps on a machine where some packages of scripts/packages are missing, with
# stand-ins first on PATH: dpkg (the packages in $UNKNOWN are unknown to it, those in $REMOVED
# removed with their configuration left), apt-get (records its arguments, exits $APT_STATUS) and
# sudo. Then: .ci/run and the README's first command use the list through scripts/install-deps.
# Usage: install_deps_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/dpkg" <<'STAND_IN'
#!/bin/sh
for p in $UNKNOWN; do
  [ "$p" = "$2" ] && { echo "dpkg-query: package '$2' is not installed" >&2; exit 1; }
done
status="install ok installed"
for p in $REMOVED; do [ "$p" = "$2" ] && status="deinstall ok config-files"; done
printf 'Package: %s\nStatus: %s\n' "$2" "$status"
STAND_IN
cat >"$work/bin/apt-get" <<STAND_IN
#!/bin/sh
echo "apt-get \$*" >>"$work/calls"
exit \${APT_STATUS:-0}
STAND_IN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
fail() {
  echo "FAILED: $1" >&2
  failures=$((failures + 1))
}

# unknown, removed, apt-get's status; the exit status, the packages named and the calls of apt-get
cases=(
  "libcli11-dev chromium|python3-numpy|0|0|libcli11-dev python3-numpy chromium"
  "||0|0|"
  "clang||100|1|clang"
)
for c in "${cases[@]}"; do
  IFS='|' read -r unknown removed apt_status status named <<<"$c"
  rm -f "$work/calls"
  out=$(PATH="$work/bin:$PATH" UNKNOWN=$unknown REMOVED=$removed APT_STATUS=$apt_status \
    "$source_dir/scripts/install-deps" 2>&1)
  got_status=$?
  calls=$(cat "$work/calls" 2>/dev/null)
  [ "$got_status" = "$status" ] || fail "[$c] exit status $got_status: $out"
  if [ -z "$named" ]; then
    if [ "$(wc -l <<<"$out")" != 1 ] || [[ $out != "install-deps: nothing to do"* ]]; then
      fail "[$c] not one line saying nothing to do: $out"
    fi
    [ -z "$calls" ] || fail "[$c] apt-get called: $calls"
    continue
  fi
  grep -qx "install-deps: installing $named" <<<"$out" ||
    fail "[$c] the packages named are not $named: $out"
  expected_calls=$(printf 'apt-get update -q\napt-get install -y -q %s' "$named")
  [ "$calls" = "$expected_calls" ] || fail "[$c] apt-get called as: $calls"
  if [ "$status" != 0 ]; then
    grep -qx "install-deps: cannot install $named: apt-get install failed.*" <<<"$out" ||
      fail "[$c] no reason given: $out"
  fi
done

# One list: .ci/run installs through scripts/install-deps and names none of the packages itself,
# and so does the README's first command.
grep -qx 'scripts/install-deps' "$source_dir/.ci/run" || fail ".ci/run does not call scripts/install-deps"
for package in $(sed 's/#.*//' "$source_dir/scripts/packages"); do
  ! grep -qwF -- "$package" "$source_dir/.ci/run" || fail ".ci/run names the package $package"
done
first=$(grep -m1 '^    [a-z]' "$source_dir/README.md")
[[ $first == "    scripts/install-deps && "* ]] ||
  fail "the README's first command does not begin with scripts/install-deps: $first"

[ "$failures" = 0 ] || exit 1
echo "install-deps: every case passed"
