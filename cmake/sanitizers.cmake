# ASan + UBSan for the whole build tree when asked for; CI builds the core tests this way.
if(KESTRELON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
