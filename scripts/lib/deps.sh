# Installs the Debian packages a step needs, only those that are missing. Sourced by the scripts.

markwell_need_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building and running the program needs (qt6-svg-dev renders the icon at build time;
# dpkg-dev lets the .deb list the libraries the programs link; libxlsxwriter-dev writes .xlsx;
# zlib1g-dev compresses the PNG pictures).
MARKWELL_BUILD_PACKAGES=(
    cmake g++ make pkg-config dpkg-dev
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-svg-dev libgl-dev
    libxlsxwriter-dev zlib1g-dev
    fonts-liberation2 fonts-urw-base35
)

# What the test suite needs on top: GoogleTest, clang for the fuzzer, the independent readers
# (LibreOffice, Gnumeric, xlrd and openpyxl for workbooks, poppler-utils for PDF files), a
# virtual display and desktop-entry validation.
MARKWELL_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev clang-format
    libreoffice-calc-nogui gnumeric python3-xlrd python3 python3-uno python3-openpyxl poppler-utils
    xvfb xauth desktop-file-utils
)

# What scripts/bench needs on top of the build: python3 makes the classes and times the runs.
MARKWELL_BENCH_PACKAGES=(
    python3
)

markwell_jobs() {
    local n
    n=$(nproc 2>/dev/null || echo 2)
    echo "$n"
}
