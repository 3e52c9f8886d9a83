#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the tests need.
# Idempotent: packages already present are skipped; runs as root without prompts
# (or through sudo when started by another user).
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  # Qt 6.4: widgets, print support, serial port, charts, SQL with ODBC and PostgreSQL drivers
  # (private headers: a test switches the platform's accessibility on)
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-serialport-dev qt6-charts-dev
  libqt6sql6-odbc libqt6sql6-psql qt6-qpa-plugins libgl-dev libqt6opengl6-dev libxkbcommon-dev
  # fuzzing (optional CMake switch KELVAR_FUZZ)
  clang libclang-rt-14-dev
  # database: ODBC driver manager, PostgreSQL server and its ODBC driver
  unixodbc unixodbc-dev odbc-postgresql postgresql
  # tests: independent workbook reader, virtual display for screenshots, locales
  python3 python3-xlrd xvfb xauth locales
  # journal export: Excel 2007 writer; tests: .xlsx reader, LibreOffice as a
  # second reader of every export, PDF text and page images of printouts
  libxlsxwriter-dev zlib1g-dev python3-openpyxl libreoffice-calc-nogui poppler-utils
  # the programming record: a typeface with Cyrillic for its PDF pages
  fonts-dejavu-core
  # installing: manual pages (scdoc, man, groff), icons rendered from SVG, the
  # Debian package (dpkg-shlibdeps, file) and its checks
  scdoc man-db groff-base librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "All build and test packages are installed."
fi

# The GUI tests run under a Russian locale; make sure it exists.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  $SUDO sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
