#!/usr/bin/env bash
# Draws the screenshots of the manual again, from the programs themselves on
# the demo company:
#
#   scripts/manual_shots.sh [PATRON]
#
# Each line of docs/manual/capturas*.txt is "imagen.png|programa|pasos": the
# program (dudore or vorovid) starts as user 1 on a fresh copy of the demo
# company, chooses the first work, runs the steps (as --pasos takes them,
# separated by ';') and the picture after the last step becomes
# docs/manual/img/imagen.png. Without steps the picture is the frame once the
# work is chosen. Lines starting with '#' are comments. With PATRON only the
# images whose name contains it are drawn.
#
# The command fails, naming the image, when a program cannot draw one (a
# step that finds no control, a program that ends before the picture).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
pattern=${1:-}
velmora=$build/programs/velmora/velmora
out=$root/docs/manual/img
for p in "$velmora" "$build/programs/dudore/dudore" "$build/programs/vorovid/vorovid"; do
  [[ -x $p ]] || { echo "Falta $p: compile primero (scripts/build.sh)" >&2; exit 1; }
done
command -v xvfb-run > /dev/null || { echo "Falta xvfb-run (scripts/setup.sh lo instala)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$velmora" demo "$work/demo" > /dev/null
mkdir -p "$out"

drawn=0
failed=0
shopt -s nullglob
for list in "$root"/docs/manual/capturas*.txt; do
  while IFS='|' read -r image program steps || [[ -n $image ]]; do
    image=$(echo "$image" | xargs)
    [[ -z $image || $image == \#* ]] && continue
    [[ -n $pattern && $image != *"$pattern"* ]] && continue
    program=$(echo "$program" | xargs)
    steps=$(echo "$steps" | sed 's/^ *//; s/ *$//')
    case $program in dudore | vorovid) ;; *)
      echo "$list: $image: programa desconocido '$program'" >&2
      failed=$((failed + 1))
      continue
      ;;
    esac
    company="$work/empresa"
    shots="$work/capturas"
    rm -rf "$company" "$shots"
    cp -a "$work/demo" "$company"
    mkdir -p "$shots"
    args=(/1 --captura "$shots")
    [[ -n $steps ]] && args+=(--pasos "$steps")
    if ! (cd "$company" && xvfb-run -a -s "-screen 0 1366x768x24" \
      "$build/programs/$program/$program" "${args[@]}") > "$work/salida.txt" 2>&1; then
      echo "$image: $program terminó con error" >&2
      sed 's/^/  /' "$work/salida.txt" >&2
      failed=$((failed + 1))
      continue
    fi
    if grep -q "^No hay\|^No se" "$work/salida.txt"; then
      echo "$image: un paso no se pudo dar" >&2
      sed 's/^/  /' "$work/salida.txt" >&2
      failed=$((failed + 1))
      continue
    fi
    name=${program^^}
    if [[ -n $steps ]]; then
      n=$(awk -F';' '{print NF}' <<< "$steps")
      picture="$shots/$name-paso-$n.png"
      # A step that opens the help draws the help window instead of the frame.
      [[ -f "$shots/$name-ayuda-$n.png" ]] && picture="$shots/$name-ayuda-$n.png"
    else
      picture="$shots/$name-marco.png"
    fi
    if [[ ! -s $picture ]]; then
      echo "$image: $program no dibujó $(basename "$picture")" >&2
      failed=$((failed + 1))
      continue
    fi
    cp "$picture" "$out/$image"
    drawn=$((drawn + 1))
    echo "$image"
  done < "$list"
done

echo "$drawn capturas dibujadas en $out"
if ((failed > 0)); then
  echo "$failed capturas no se pudieron dibujar" >&2
  exit 1
fi
