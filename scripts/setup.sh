#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Velmora.
# Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config git
  qt6-base-dev libgl-dev
  libsqlcipher-dev sqlcipher libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libfmt-dev
  xvfb xauth
  libwmf-bin fonts-urw-base35 poppler-utils
  libhpdf-dev  # PDF files of the reports
  libcairo2-dev  # only for bench/pdf_bench.cpp, the writer libharu was measured against
  tango-icon-theme  # the icons of the programs' toolbars
  qt6-translations-l10n  # Qt's own dialogs (files, printer) in Spanish
  python3 python3-markdown  # the manual, Markdown to HTML at build time
  postgresql libpq-dev  # the server back end and its tests (a throw-away cluster)
  locales  # a Spanish locale with decimal commas, for the tests that read numbers under it
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
need_root() {
  [ -z "$sudo" ] || command -v sudo >/dev/null || { echo "Se necesita root o sudo para $1" >&2; exit 1; }
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "Instalando: ${missing[*]}"
  need_root "instalar ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A Spanish locale that writes decimals with a comma (Spain, and most of South America).
if ! locale -a 2>/dev/null | grep -qix 'es_ES.utf8'; then
  echo "Generando la localización es_ES.UTF-8"
  need_root "generar la localización es_ES.UTF-8"
  $sudo sed -i 's/^# *\(es_ES.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^es_ES.UTF-8 UTF-8' /etc/locale.gen || echo 'es_ES.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
