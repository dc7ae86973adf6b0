# Sanitizer and fuzzer instrumentation.
if(CORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
  add_link_options(-fsanitize=address,undefined)
endif()
if(CORVANE_FUZZ)
  # Libraries get coverage instrumentation; each fuzz target links libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -g -O1)
  add_link_options(-fsanitize=address,undefined)
endif()
