# Sourced by the build scripts: compiles through ccache when it is installed, so a
# second build tree (sanitizers, fuzzing) or a fresh clone of the same sources
# reuses the objects already compiled. Paths are hashed relative to the clone, so
# clones in different folders share the cache. $root must be set.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
export CCACHE_NOHASHDIR=1
