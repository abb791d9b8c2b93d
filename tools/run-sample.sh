#!/usr/bin/env bash
# Builds atualiza-produto and opens it on a sample database.
#
#   tools/run-sample.sh [--fresh] [make-sample-db options...]
#
# The sample Quorvale.GDB lives in ${XDG_CACHE_HOME:-$HOME/.cache}/atualiza-produto-sample
# and is made only when missing; --fresh makes it anew (options such as
# --products N are passed to build/tools/make-sample-db then). The program is
# started in that folder, where it finds Quorvale.GDB. Without a display
# (no DISPLAY or WAYLAND_DISPLAY) it runs on a virtual X server (xvfb-run).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$(pwd)

fresh=0
sample_args=()
for arg in "$@"; do
    case $arg in
        --fresh) fresh=1 ;;
        -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) sample_args+=("$arg") ;;
    esac
done

tools/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target atualiza-produto make-sample-db

dir=${XDG_CACHE_HOME:-$HOME/.cache}/atualiza-produto-sample
db=$dir/Quorvale.GDB
mkdir -p "$dir"
if ((fresh)) || [[ ! -e $db ]]; then
    echo "run-sample.sh: making $db"
    "$repo/build/tools/make-sample-db" "$db" --force "${sample_args[@]}"
elif ((${#sample_args[@]})); then
    echo "run-sample.sh: $db exists; options ignored (add --fresh to remake it)" >&2
fi

cd "$dir"
echo "run-sample.sh: starting atualiza-produto in $dir"
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    echo "run-sample.sh: no display; running on a virtual X server" >&2
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$repo/build/atualiza-produto"
fi
exec "$repo/build/atualiza-produto"
