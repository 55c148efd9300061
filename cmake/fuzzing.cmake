# Fuzz builds (SCALOPEX_BUILD_FUZZ): clang's libFuzzer with AddressSanitizer
# and UndefinedBehaviorSanitizer. Every library gets the coverage
# instrumentation (fuzzer-no-link); only the programs in fuzz/ link libFuzzer
# itself. A sanitizer report aborts, so libFuzzer keeps the input.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "SCALOPEX_BUILD_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++-14")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
