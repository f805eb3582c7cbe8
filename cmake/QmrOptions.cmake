option(QMR_BUILD_TESTS "Build the test suite" ON)
option(QMR_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QMR_TSAN "Build with ThreadSanitizer" OFF)
option(QMR_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(QMR_ASAN AND QMR_TSAN)
  message(FATAL_ERROR "QMR_ASAN and QMR_TSAN cannot be combined")
endif()

# Warnings for our own code only; applied per target through qmr_warnings.
add_library(qmr_warnings INTERFACE)
target_compile_options(qmr_warnings INTERFACE -Wall -Wextra)

if(QMR_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QMR_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(QMR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QMR_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Instrument everything for coverage; the fuzz drivers add -fsanitize=fuzzer at link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The shared libraries are linked with every symbol resolved, so that nothing is missing at
# load time. Clang's sanitizer runtimes live in the executable, not in shared libraries:
# there the check cannot hold.
set(QMR_NO_UNDEFINED "-Wl,--no-undefined")
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND (QMR_FUZZ OR QMR_ASAN OR QMR_TSAN))
  set(QMR_NO_UNDEFINED "")
endif()
