# Sourced by the build scripts: the compiler cache (ccache), kept outside the clone so that a clean clone
# or another clone of the repository reuses what any earlier build compiled. Paths under the clone are
# hashed relative to it (CCACHE_BASEDIR) and the build folder's own path is left out of the hash, so the
# same source in another clone hits. A CCACHE_* variable already set wins. Without ccache nothing changes.
# Sets cache_launcher: the cmake options that put the cache in front of the compilers.
cache_launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(pwd -P)}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
  cache_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
