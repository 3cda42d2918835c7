#!/usr/bin/env bash
# One entry point for a fresh machine:
#   ./dev.sh main   build when needed, then run the main job on the built-in simulated player
#   ./dev.sh test   build with the sanitizers and run every test
# Run as root on a fresh machine, it first installs the Debian packages the build and tests need.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          dosfstools mtools srecord)

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "dev.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
        return 1
    fi
    echo "dev.sh: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null; }
}

configure() {  # configure DIR cmake-options...
    local dir=$1; shift
    [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

jobs=$(nproc)

case "${1:-}" in
main)
    shift
    install_missing_packages
    configure build/release -DCMAKE_BUILD_TYPE=Release -DRPX_TESTS=OFF -DRPX_BENCH=OFF
    cmake --build build/release --target rpxsim -j "$jobs" >/dev/null
    exec build/release/machine/rpxsim "$@"
    ;;
test)
    shift
    install_missing_packages
    configure build/debug -DCMAKE_BUILD_TYPE=Debug -DRPX_SANITIZE=ON -DRPX_WERROR=ON
    cmake --build build/debug -j "$jobs"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
    ctest --test-dir build/debug --output-on-failure -j "$jobs" "$@"
    ;;
*)
    echo "usage: ./dev.sh main [rpxsim options] | ./dev.sh test [ctest options]" >&2
    exit 2
    ;;
esac
