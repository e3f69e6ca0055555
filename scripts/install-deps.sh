#!/usr/bin/env bash
# Installs every Debian 12 package the build, the program and the test suite need.
# Already-installed packages are left alone so repeated runs cost nothing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qtbase5-dev libqt5serialport5-dev qttools5-dev-tools qttools5-dev
    xvfb
    fonts-dejavu-core   # a font the offscreen platform renders the screenshots with
    fonts-wqy-microhei  # Chinese glyphs for the screenshots of the translated program
    qttranslations5-l10n  # Qt's own Chinese (standard buttons), loaded beside the program's
    clang libclang-rt-14-dev  # libFuzzer and the sanitizers' runtimes for scripts/fuzz.sh
    ccache
    colord-data   # CIE colour-matching functions and illuminants the spectral tests check against
    locales       # a German locale (decimal comma) for the locale-independence tests
    poppler-utils # pdftoppm, to look at the matching certificate's PDF as a reader draws it
    libqt5sql5-sqlite libqt5sql5-psql  # the line records: a station's own file, the line's database
    postgresql    # initdb and pg_ctl: the records tests start a server of their own
    file          # CPack's dependency list and the installed tree's test read file types
    lintian desktop-file-utils appstream  # scripts/package-check.sh: the Debian packages' checks
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests run the instrument library under a locale whose decimal separator
# is a comma; generate it once.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    echo "Generating the de_DE.UTF-8 locale"
    $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
