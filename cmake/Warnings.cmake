# Project-wide warning and Qt hygiene flags, applied through an interface target.
add_library(vexlor_options INTERFACE)
target_compile_options(vexlor_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vexlor_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER)
