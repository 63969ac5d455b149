# Shared by the scripts in this folder: installs what is missing, goes on as
# the player when started through sudo (scripts/as-player.sh), and offers
# build_release, which configures build/release and builds the targets it
# is given (every target when none).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh
source scripts/as-player.sh
continue_as_player "$0" "$@"
require_own_build_folder
export CCACHE_DIR=${CCACHE_DIR:-$PWD/build/.ccache}
build_jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p build

build_release() {
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >build/release.configure.log
  cmake --build build/release -j "$build_jobs" ${1:+--target "$@"}
}
