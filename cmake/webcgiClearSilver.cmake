# ClearSilver's three static archives and a static zlib, as the imported
# targets webcgi::neo_cgi, webcgi::neo_cs, webcgi::neo_utl (with ClearSilver's
# headers) and webcgi::zlib_static. The project's build and the installed
# package config both take them from here, each where the project that
# includes it looks (its prefixes; on a cross build its find root), so the
# package names none of the building machine's paths.
# Sets webcgi_clearsilver_missing to the names of what was not found.
#
# ClearSilver's output can gzip, which the pages never enable: zlib is linked
# in statically so that no request maps a shared library it does not call.
find_path(CLEARSILVER_INCLUDE_DIR ClearSilver.h PATH_SUFFIXES ClearSilver)
find_library(NEO_CGI_LIB libneo_cgi.a)
find_library(NEO_CS_LIB libneo_cs.a)
find_library(NEO_UTL_LIB libneo_utl.a)
find_library(ZLIB_STATIC_LIB libz.a)

set(webcgi_clearsilver_missing)
foreach(found IN ITEMS CLEARSILVER_INCLUDE_DIR NEO_CGI_LIB NEO_CS_LIB NEO_UTL_LIB ZLIB_STATIC_LIB)
  if(NOT ${found})
    list(APPEND webcgi_clearsilver_missing ${found})
  endif()
endforeach()

# A second find_package(webcgi) in the same directory tree finds them there.
if(NOT webcgi_clearsilver_missing AND NOT TARGET webcgi::neo_cgi)
  foreach(lib IN ITEMS neo_cgi neo_cs neo_utl zlib_static)
    add_library(webcgi::${lib} STATIC IMPORTED)
  endforeach()
  set_target_properties(webcgi::neo_cgi PROPERTIES IMPORTED_LOCATION ${NEO_CGI_LIB})
  set_target_properties(webcgi::neo_cs PROPERTIES IMPORTED_LOCATION ${NEO_CS_LIB})
  set_target_properties(webcgi::neo_utl PROPERTIES IMPORTED_LOCATION ${NEO_UTL_LIB})
  set_target_properties(webcgi::zlib_static PROPERTIES IMPORTED_LOCATION ${ZLIB_STATIC_LIB})
  # An imported target's headers are system headers to its users.
  set_target_properties(webcgi::neo_cgi webcgi::neo_cs webcgi::neo_utl PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${CLEARSILVER_INCLUDE_DIR})
endif()
