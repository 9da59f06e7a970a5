# Sanitizers for the whole build tree when asked for. CI builds the core tests
# with ASan + UBSan, and the network tests with ThreadSanitizer.
if(KESTRELON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KESTRELON_TSAN)
  if(KESTRELON_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(KESTRELON_FUZZ)
  # The fuzz build instruments everything its target reaches, so the fuzzer is
  # guided by the coverage of the decoders and the engines, not only by its own
  # files; the target adds libFuzzer's main at link time.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
