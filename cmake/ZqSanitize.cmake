# ZQ_SANITIZE: everything (libraries, programs, tests) built with
# AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first
# report. The tests get the matching runtime options (cmake/ZqTest.cmake), and
# the programs they start inherit them.
option(ZQ_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# ZQ_FUZZ: the libFuzzer targets in tests/fuzz (needs clang).
option(ZQ_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(ZQ_SANITIZE OR ZQ_FUZZ)
  set(ZQ_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  add_compile_options(${ZQ_SANITIZE_FLAGS})
  add_link_options(${ZQ_SANITIZE_FLAGS})
endif()

if(ZQ_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZQ_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++-14)")
  endif()
  # Coverage feedback from all of our code; only the fuzz targets link the
  # fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# What the sanitizer runtimes of every test and of every program a test starts
# do on a report.
set(ZQ_SANITIZER_ENV)
if(ZQ_SANITIZE OR ZQ_FUZZ)
  set(ZQ_SANITIZER_ENV
    "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1"
    "UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp:print_suppressions=0")
endif()
