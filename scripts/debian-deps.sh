# shellcheck shell=bash disable=SC2154
# Sourced by scripts/build-windows and scripts/build-selfcontained: installs missing Debian
# packages, fetches Debian's source packages of libzmq and Crypto++ into a cache, and builds
# them once as static libraries into the cache's prefix (a stamp per library marks a finished
# build, so a second run reuses them).
#
# The caller sets: deps_name (its name, for messages), cache, prefix, jobs; and defines step.

deps_zmq_version=4.3.4
deps_cryptopp_version=8.7.0
deps_sudo=()
if [ "$(id -u)" -ne 0 ]; then
    deps_sudo=(sudo)
fi

# deps_install PACKAGE...: installs those not installed yet.
deps_install() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
            grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        step "installing ${missing[*]}"
        "${deps_sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${deps_sudo[@]}" apt-get install -y -qq \
            --no-install-recommends "${missing[@]}"
    fi
}

# Debian's source packages, through a deb-src entry of the caller's own that is removed
# afterwards.
deps_remove_deb_src() {
    local deb_src_file=/etc/apt/sources.list.d/corvo-$deps_name-deb-src.sources
    if [ -f "$deb_src_file" ]; then
        "${deps_sudo[@]}" rm -f "$deb_src_file"
        "${deps_sudo[@]}" apt-get update -qq
    fi
}

deps_fetch_sources() {
    if compgen -G "$cache/src/zeromq3-$deps_zmq_version" >/dev/null &&
        compgen -G "$cache/src/libcrypto++-$deps_cryptopp_version*/GNUmakefile" >/dev/null; then
        return
    fi
    step "fetching Debian's source packages zeromq3 and libcrypto++"
    # The archive and keyring of the first entry of debian.sources (never edited itself).
    local debian_sources=/etc/apt/sources.list.d/debian.sources uri signed_by
    local deb_src_file=/etc/apt/sources.list.d/corvo-$deps_name-deb-src.sources
    uri=$(sed -n 's/^URIs: *//p' "$debian_sources" 2>/dev/null | head -n 1 | cut -d ' ' -f 1)
    signed_by=$(sed -n 's/^Signed-By: *//p' "$debian_sources" 2>/dev/null | head -n 1)
    trap deps_remove_deb_src EXIT
    "${deps_sudo[@]}" tee "$deb_src_file" >/dev/null <<EOF
Types: deb-src
URIs: ${uri:-http://deb.debian.org/debian}
Suites: bookworm
Components: main
Signed-By: ${signed_by:-/usr/share/keyrings/debian-archive-keyring.gpg}
EOF
    "${deps_sudo[@]}" apt-get update -qq
    rm -rf "$cache/src"
    mkdir -p "$cache/src"
    (cd "$cache/src" && apt-get source -qq zeromq3 libcrypto++)
    deps_remove_deb_src
    trap - EXIT
    if ! [ -d "$cache/src/zeromq3-$deps_zmq_version" ] ||
        ! compgen -G "$cache/src/libcrypto++-$deps_cryptopp_version*" >/dev/null; then
        echo "$deps_name: expected zeromq3 $deps_zmq_version and libcrypto++" \
            "$deps_cryptopp_version" >&2
        ls "$cache/src" >&2
        exit 1
    fi
}

# deps_build_libzmq CMAKE_ARGS...: static libzmq with CURVE through its bundled tweetnacl; no
# libsodium, libbsd, PGM or NORM, whatever the machine has installed.
deps_build_libzmq() {
    local stamp=$prefix/.libzmq-$deps_zmq_version
    [ -f "$stamp" ] && return
    step "building static libzmq $deps_zmq_version"
    local build=$cache/build/libzmq
    rm -rf "$build"
    # The prefix's own pkg-config files only, so no host library (libbsd, gnutls, sodium)
    # leaks in.
    PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH='' \
        cmake -S "$cache/src/zeromq3-$deps_zmq_version" -B "$build" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED=OFF -DBUILD_STATIC=ON -DBUILD_TESTS=OFF -DWITH_LIBSODIUM=OFF \
        -DENABLE_CURVE=ON -DENABLE_DRAFTS=OFF -DWITH_DOCS=OFF -DWITH_PERF_TOOL=OFF \
        -DWITH_LIBBSD=OFF -DWITH_OPENPGM=OFF -DWITH_NORM=OFF -DWITH_VMCI=OFF \
        -DENABLE_CPACK=OFF "$@" >"$cache/libzmq-configure.log"
    cmake --build "$build" -j"$jobs"
    cmake --install "$build" >/dev/null
    touch "$stamp"
}

# deps_build_cryptopp MAKE_VARIABLES...: static Crypto++ with its own GNUmakefile.
deps_build_cryptopp() {
    local stamp=$prefix/.cryptopp-$deps_cryptopp_version
    [ -f "$stamp" ] && return
    step "building static Crypto++ $deps_cryptopp_version"
    local source build=$cache/build/cryptopp
    source=$(compgen -G "$cache/src/libcrypto++-$deps_cryptopp_version*" | head -n 1)
    rm -rf "$build"
    mkdir -p "$cache/build"
    cp -a "$source" "$build"  # its GNUmakefile builds in place
    make -C "$build" -j"$jobs" static "$@"
    mkdir -p "$prefix/include/cryptopp" "$prefix/lib"
    cp "$build"/*.h "$prefix/include/cryptopp/"
    cp "$build/libcrypto++.a" "$prefix/lib/"
    touch "$stamp"
}
