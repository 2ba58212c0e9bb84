# AddressSanitizer and UndefinedBehaviorSanitizer for the sanitizer lane.
if(VEXLOR_SANITIZE)
  target_compile_options(vexlor_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexlor_options INTERFACE -fsanitize=address,undefined)
endif()
