# The same warnings for both supported compilers (g++ 12, clang 14); errors when QXR_WERROR is on
# (every preset turns it on).
add_library(qxr_warnings INTERFACE)
target_compile_options(qxr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wcast-align -Wvla
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>
  $<$<BOOL:${QXR_WERROR}>:-Werror>
  # g++ 12 at -O3 reports impossible overlapping copies inside libstdc++'s std::string when strings are
  # concatenated (a known false positive of that release, fixed in 13); it says nothing about our code.
  $<$<AND:$<COMPILE_LANG_AND_ID:CXX,GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
