# Project-wide warning and Qt hygiene flags, applied through interface targets:
# vexlor_options for everything, vexlor_strict (linked privately by the
# program's own libraries, not by tests) for the dev preset's stricter build.
option(VEXLOR_STRICT_WARNINGS "Extra warnings, and every warning an error, in the program's sources" OFF)

add_library(vexlor_options INTERFACE)
target_compile_options(vexlor_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vexlor_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER)

add_library(vexlor_strict INTERFACE)
if(VEXLOR_STRICT_WARNINGS)
  target_compile_options(vexlor_strict INTERFACE
    -Werror -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast -Wnull-dereference
    $<$<CXX_COMPILER_ID:GNU>:-Wuseless-cast>)
endif()
