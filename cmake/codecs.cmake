# Two INTERFACE targets that any library or program links:
#   codecs   zlib, zstd, liblzma and libbz2, with their headers
#   digests  SHA-1 and MD5: nettle on Linux, the system's BCrypt on Windows
# On Linux they are Debian's shared libraries. On Windows every codec links
# statically: zlib from Debian's libz-mingw-w64-dev, the other three from the
# prefix scripts/mingw-codecs builds them into (run by scripts/setup).

add_library(codecs INTERFACE)
add_library(digests INTERFACE)

if(WIN32)
  set(CODECS_PREFIX /opt/gcdisc-codecs/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32
    CACHE PATH "Static MinGW-w64 builds of libbz2, liblzma and libzstd")
  # Searched there only: the cross tree's own root has none of them.
  set(codecs_prefix_search PATHS ${CODECS_PREFIX}/include ${CODECS_PREFIX}/lib
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  set(codecs_where " in ${CODECS_PREFIX}")
endif()

# Finds one library and the folder of its header for TARGET; a missing one
# stops the configure step. Extra arguments go to both searches.
function(link_found_library target name header library)
  find_path(${name}_INCLUDE_DIR ${header} ${ARGN})
  find_library(${name}_LIBRARY NAMES ${library} ${ARGN})
  if(NOT ${name}_INCLUDE_DIR OR NOT ${name}_LIBRARY)
    message(FATAL_ERROR "${target}: ${name} (${header}, ${library}) not found${codecs_where}: run scripts/setup")
  endif()
  target_include_directories(${target} SYSTEM INTERFACE ${${name}_INCLUDE_DIR})
  target_link_libraries(${target} INTERFACE ${${name}_LIBRARY})
endfunction()

if(WIN32)
  # Named as archives, so the import library of a DLL is never taken.
  link_found_library(codecs zlib zlib.h libz.a)
  link_found_library(codecs zstd zstd.h libzstd.a ${codecs_prefix_search})
  link_found_library(codecs lzma lzma.h liblzma.a ${codecs_prefix_search})
  link_found_library(codecs bz2 bzlib.h libbz2.a ${codecs_prefix_search})
  target_link_libraries(digests INTERFACE bcrypt)
else()
  link_found_library(codecs zlib zlib.h z)
  link_found_library(codecs zstd zstd.h zstd)
  link_found_library(codecs lzma lzma.h lzma)
  link_found_library(codecs bz2 bzlib.h bz2)
  link_found_library(digests nettle nettle/sha1.h nettle)
endif()
