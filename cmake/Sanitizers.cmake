# AddressSanitizer and UndefinedBehaviorSanitizer for the sanitizer lane.
if(VEXLOR_SANITIZE)
  target_compile_options(vexlor_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexlor_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing builds instrument everything for coverage and memory errors; the
# fuzz targets themselves add the libFuzzer driver. clang 14 cannot emit the
# -fsanitize=function prologue for split coroutines ("Cannot represent a
# difference across sections"), so that one check is left out.
if(VEXLOR_FUZZ)
  target_compile_options(vexlor_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexlor_options INTERFACE -fsanitize=address,undefined)
endif()
