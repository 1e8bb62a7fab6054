# Shared helpers for the scripts; sourced, not run.

# ensure_packages PKG...: installs the Debian packages that are missing,
# with apt-get when running as root; otherwise says what to install.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (install them with apt-get as root)" >&2
        return 1
    fi
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if [ -z "${TOLVANE_APT_UPDATED:-}" ]; then
        apt-get update -qq >/dev/null
        export TOLVANE_APT_UPDATED=1
    fi
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

jobs() { nproc 2>/dev/null || echo 2; }
