#!/usr/bin/env bash
# Holds src/ to its layers (HACKING.md): a file includes headers only of its own
# folder and of layers below it; a layer links only layers below it; a layer
# without widgets (core) links nothing but Qt Core, Qt D-Bus, the threads and
# libsystemd.
#
#   check-layers.sh SRC LAYERS
#
# LAYERS is the build's layers.txt, one line per layer from the bottom up:
# "core|gui <folder> <what it links>...", written by src/CMakeLists.txt.
set -euo pipefail
src=${1:?usage: check-layers.sh SRC LAYERS}
layers=${2:?usage: check-layers.sh SRC LAYERS}

declare -A rank kind
n=0
fail=0
complain() {
    echo "$*" >&2
    fail=1
}

while read -r k name links; do
    [ -n "$k" ] || continue
    if [ "$k" = core ] && [ "${seen_gui:-}" ]; then
        complain "layer $name: a core layer above a gui layer"
    fi
    [ "$k" = gui ] && seen_gui=1
    rank[$name]=$n
    kind[$name]=$k
    n=$((n + 1))
    for lib in $links; do
        case $lib in
        winvarno_layer_*)
            below=${lib#winvarno_layer_}
            if [ -z "${rank[$below]+x}" ]; then
                complain "layer $name links $lib, which is not below it"
            fi
            ;;
        Qt6::Core | Qt6::DBus | Threads::Threads | PkgConfig::SYSTEMD) ;;
        *)
            [ "$k" = core ] && complain "core layer $name links $lib (core layers use no Qt Gui or Widgets)"
            ;;
        esac
    done
done <"$layers"
[ "$n" -gt 0 ] || complain "$layers: no layers"

for dir in "$src"/*/; do
    folder=$(basename "$dir")
    [ -n "${rank[$folder]+x}" ] || complain "src/$folder: a folder that is no layer (src/CMakeLists.txt)"
done

# Every include naming a folder: "folder/..." or <folder/...>.
while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*)[">].*/\1/' <<<"${rest#*:}")
    folder=${file#"$src"/}
    folder=${folder%%/*}
    first=${target%%/*}
    where="src/${file#"$src"/}:$line"
    if [ "$first" = .. ]; then
        complain "$where: includes $target by a relative path; name the folder"
    elif [ -n "${rank[$first]+x}" ] && [ -n "${rank[$folder]+x}" ] &&
        [ "${rank[$first]}" -gt "${rank[$folder]}" ]; then
        complain "$where: $folder includes $target from $first, a layer above it"
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^">]*/' \
    --include='*.h' --include='*.cpp' "$src" || true)

if [ "$fail" -ne 0 ]; then
    echo "check-layers: the layers, from the bottom up: $(cut -d' ' -f2 "$layers" | xargs)" >&2
    exit 1
fi
echo "check-layers: $n layers, every include and link goes down"
