# Shared by run.sh and test.sh: installs the Debian packages the build needs
# and configures/builds a tree.  Sourced, not run.

ORVANE_PACKAGES=(
    cmake g++ make ccache pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5serialport5-dev
    libqcustomplot-dev famfamfam-silk qttranslations5-l10n
    fonts-dejavu-core libsqlite3-dev
    libqt5sql5-psql postgresql
)

orvane_install_packages() {
    local missing=() p
    for p in "${ORVANE_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# orvane_build <build-dir> [cmake options...]
orvane_build() {
    local dir="$1"; shift
    cmake -S "$ORVANE_ROOT" -B "$dir" "$@" >/dev/null || return 1
    cmake --build "$dir" --parallel "$(nproc)"
}
