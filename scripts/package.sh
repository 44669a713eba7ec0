#!/bin/bash
# Builds the Debian package build-deb/orvane_<version>_amd64.deb and checks
# it: the desktop entry and the AppStream metadata are validated, lintian
# looks at the package. Needs no test suite; the tools it needs are installed
# here, not for the suite.
#
#   scripts/package.sh            # build-deb/ beside the sources
#   ORVANE_DEB_BUILD=DIR ORVANE_JOBS=N scripts/package.sh
set -euo pipefail

ORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/common.sh
source "$ORVANE_ROOT/scripts/common.sh"

orvane_install_packages dpkg-dev file lintian desktop-file-utils appstream

build="${ORVANE_DEB_BUILD:-$ORVANE_ROOT/build-deb}"
jobs="${ORVANE_JOBS:-2}"

# Debian's own compiler and linker flags, hardening included.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"

cmake -S "$ORVANE_ROOT" -B "$build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"

echo "== desktop-file-validate"
desktop-file-validate "$ORVANE_ROOT/packaging/orvane.desktop"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$build"/packaging/*.metainfo.xml

echo "== cpack"
rm -f "$build"/orvane_*.deb
(cd "$build" && cpack -G DEB)
deb="$(ls "$build"/orvane_*_amd64.deb)"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== lintian"
# Errors fail the script; warnings and notes are shown.
lintian --info --display-info --fail-on error "$deb"
echo "Package: $deb"
