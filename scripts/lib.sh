# Shared by the scripts: installs the Debian packages of a list in scripts/ (packages.txt unless
# named) that are missing; fails when apt-get does.
install_packages() {
    local list missing=()
    list=$(grep -v '^\s*#' "$(dirname "${BASH_SOURCE[0]}")/${1:-packages.txt}" | grep -v '^\s*$')
    for p in $list; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}
