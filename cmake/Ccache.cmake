# ccache for every build tree of every checkout. Paths below the source folder are hashed relative
# to it and the build folder's own path is left out, so a second checkout, or a tree of the same
# flags in another folder, reuses what the first one compiled (its debug information then names the
# folder that compiled it first). Trees with other flags, such as the sanitizer tree, have entries
# of their own.
find_program(VELMO_CCACHE ccache)
if(VELMO_CCACHE)
  get_filename_component(_velmo_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  set(CMAKE_CXX_COMPILER_LAUNCHER
      /usr/bin/env CCACHE_BASEDIR=${_velmo_source_root} CCACHE_NOHASHDIR=1 ${VELMO_CCACHE})
endif()
