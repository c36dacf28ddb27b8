#!/usr/bin/env bash
# The package installed by cmake --install into a temporary prefix, then the tests that need no
# program of the build folder run on it there.
# Usage: installed.sh BUILD PYTHON PACKAGE_DIR   (PACKAGE_DIR: KELMARINO_PYTHON_DIR)
set -euo pipefail
build=$1 python=$2 package_dir=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" --component python >/dev/null
tests=$(cd "$(dirname "$0")" && pwd)
cd "$prefix"
export PYTHONPATH="$prefix/$package_dir"
"$python" -c 'import kelmarino, sys; sys.exit(not kelmarino.__file__.startswith(sys.argv[1]))' \
  "$prefix"
"$python" -m pytest -q -p no:cacheprovider \
  -k "installed or every_number or hostile or variant or frames" "$tests"
