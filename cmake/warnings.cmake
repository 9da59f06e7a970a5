# Every target of the project compiles with the same warning set.
add_library(kestrelon_warnings INTERFACE)
target_compile_options(kestrelon_warnings INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(kestrelon_warnings INTERFACE -Wshadow=local)
endif()
if(KESTRELON_WERROR)
  target_compile_options(kestrelon_warnings INTERFACE -Werror)
endif()
