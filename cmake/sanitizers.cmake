# OTS_SANITIZE applies to every target, third-party code included, so that
# allocations and threads are seen whole.
if(OTS_SANITIZE)
  add_compile_options(-fsanitize=${OTS_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OTS_SANITIZE})
endif()

# The fuzz build gives every target libFuzzer's coverage; only the fuzz programs link its main.
if(OTS_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
