# The same warnings for both supported compilers (g++ 12, clang 14); errors when QXR_WERROR is on
# (every preset turns it on).
add_library(qxr_warnings INTERFACE)
target_compile_options(qxr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align -Wvla
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>
  $<$<BOOL:${QXR_WERROR}>:-Werror>)
