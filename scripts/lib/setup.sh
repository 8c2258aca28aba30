# Installs what the build and the tests need on Debian 12, only what is missing, so that a
# second run costs nothing. Sourced by scripts/test and scripts/run.

TAVRIN_PACKAGES=(
    g++ cmake ninja-build pkg-config ccache
    libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
    qt6-base-dev libgl-dev libqcustomplot-dev fonts-dejavu-core
    portaudio19-dev libasound2-dev libjack-jackd2-dev jackd2 alsa-utils libsamplerate0-dev
    libcli11-dev nlohmann-json3-dev
    zlib1g-dev
    locales
    libeigen3-dev
)

# The Windows build (scripts/windows): the cross compiler and zlib for it, GoogleTest's source,
# the host's header-only libraries, dpkg-dev to unpack libsamplerate's source package (fetched
# with the archive's own key, however the machine's apt sources are set up), and Wine to run the
# result.
TAVRIN_WINDOWS_PACKAGES=(
    cmake ninja-build ccache dpkg-dev debian-archive-keyring
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine64
    libcli11-dev nlohmann-json3-dev libeigen3-dev
)

tavrin_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "These Debian packages are missing and installing them needs root: ${missing[*]}" >&2
            return 1
        fi
    fi
    # jackd2 asks whether to run with real-time priority; the default answer is fine.
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The number-text tests run once under a locale that writes decimal commas.
tavrin_ensure_comma_locale() {
    if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        return 0
    fi
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if [ -f /etc/locale.gen ]; then
        $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

# Configures $1 with the remaining arguments passed to CMake.
tavrin_configure() {
    local build_dir=$1
    shift
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

# Configures and builds everything into $1 with the remaining arguments passed to CMake.
tavrin_build() {
    tavrin_configure "$@"
    cmake --build "$1"
}
