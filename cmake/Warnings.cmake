# Project-wide warning and Qt hygiene flags (vexlor_options, for everything),
# and the dev preset's stricter warnings for the program's own sources.
option(VEXLOR_STRICT_WARNINGS "Extra warnings, and every warning an error, in the program's sources" OFF)

add_library(vexlor_options INTERFACE)
target_compile_options(vexlor_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vexlor_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER)

# vexlor_strict(<target>): with VEXLOR_STRICT_WARNINGS, the target's own .cpp
# files (not the sources Qt generates for it) compile with the extra warnings,
# each an error. Call it in the directory that made the target.
function(vexlor_strict target)
  if(NOT VEXLOR_STRICT_WARNINGS)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "^${CMAKE_BINARY_DIR}")
  set_source_files_properties(${sources} PROPERTIES COMPILE_OPTIONS
    "-Werror;-Wshadow;-Wconversion;-Wsign-conversion;-Wold-style-cast;-Wnull-dereference")
endfunction()
