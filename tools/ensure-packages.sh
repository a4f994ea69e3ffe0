# Sourced by the tools' scripts: installs the Debian packages named, if any is missing.
#   ensure_packages [--for WHAT] PACKAGE...
# Says in one line what it installs and for what (WHAT, or else the calling script). When
# another program holds the package manager's lock (a desktop's automatic updates do, for
# minutes), apt-get waits for it, up to ENSURE_PACKAGES_LOCK_WAIT seconds (10 minutes).
# apt-get runs as root directly, otherwise through sudo.
ensure_packages() {
    local purpose="${BASH_SOURCE[1]##*/}"
    if [ "${1:-}" = --for ]; then
        purpose=$2
        shift 2
    fi
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    local wait=(-o "DPkg::Lock::Timeout=${ENSURE_PACKAGES_LOCK_WAIT:-600}")
    echo "Installing for $purpose: ${missing[*]} (waits while another program installs)"
    # apt-get update does not wait for the lists' lock by itself: it is asked again.
    local deadline=$((SECONDS + ${ENSURE_PACKAGES_LOCK_WAIT:-600})) out
    until out=$($sudo apt-get "${wait[@]}" update -qq 2>&1); do
        grep -q "Could not get lock" <<<"$out" && [ "$SECONDS" -lt "$deadline" ] || break
        sleep 2
    done
    [ -z "$out" ] || echo "$out" >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}
