# The Linux host build: the engine, driver list and file players over the host
# stand-ins of src/platform/host, unit tests, benchmarks and fuzz targets.
find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

file(GLOB ASIOCHAN_HOST_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/host/*.cpp)

add_library(asiochan_core STATIC ${ASIOCHAN_PORTABLE_SOURCES} ${ASIOCHAN_HOST_PLATFORM_SOURCES})
asiochan_includes(asiochan_core)
asiochan_warnings(asiochan_core)
target_link_libraries(asiochan_core PUBLIC Threads::Threads)
# The seams between an application call's publishing steps (src/engine/seam.h):
# the host build's tests run periods there; the product has none.
target_compile_definitions(asiochan_core PUBLIC ASIOCHAN_HOST_SEAMS)

add_library(asiochan_simcore STATIC ${ASIOCHAN_SIMCORE_SOURCES})
asiochan_includes(asiochan_simcore)
asiochan_warnings(asiochan_simcore)
target_link_libraries(asiochan_simcore PUBLIC asiochan_core)

# The instance the exports reach in host builds: one the running test made.
add_library(asiochan_test_instance STATIC tests/unit/support/test_library.cpp)
asiochan_includes(asiochan_test_instance)
target_include_directories(asiochan_test_instance PUBLIC ${ASIOCHAN_ROOT}/tests/unit)
asiochan_warnings(asiochan_test_instance)
target_link_libraries(asiochan_test_instance PUBLIC asiochan_core)

file(GLOB_RECURSE ASIOCHAN_UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
list(REMOVE_ITEM ASIOCHAN_UNIT_TEST_SOURCES ${ASIOCHAN_ROOT}/tests/unit/support/test_library.cpp)
# The command-line host's portable parts run here with their tests and benchmarks:
# arguments, help, the progress throttle, the answer to the console's events, the
# sample codec, WAV files, player words, the measuring maths, routing, what a run's
# events come to, the capture writer, the capture pipeline, a file's
# frames for a stream and their feeder, following a run, each command's option
# parsing and the host half of system/ (threads, sleeps, clock).
set(ASIOCHAN_CLI_DIR ${ASIOCHAN_ROOT}/tools/cli)
set(ASIOCHAN_CLI_PORTABLE_SOURCES
    ${ASIOCHAN_CLI_DIR}/console/arguments.cpp ${ASIOCHAN_CLI_DIR}/console/usage.cpp
    ${ASIOCHAN_CLI_DIR}/console/progress_line.cpp ${ASIOCHAN_CLI_DIR}/console/stop_request.cpp
    ${ASIOCHAN_CLI_DIR}/wav/sample_codec.cpp ${ASIOCHAN_CLI_DIR}/wav/wav_file.cpp
    ${ASIOCHAN_CLI_DIR}/wav/player_word.cpp ${ASIOCHAN_CLI_DIR}/wav/wav_layout.cpp
    ${ASIOCHAN_CLI_DIR}/wav/interleave.cpp ${ASIOCHAN_CLI_DIR}/wav/raw_file.cpp
    ${ASIOCHAN_CLI_DIR}/wav/wav_writer.cpp
    ${ASIOCHAN_CLI_DIR}/streaming/routing.cpp ${ASIOCHAN_CLI_DIR}/streaming/run_outcome.cpp
    ${ASIOCHAN_CLI_DIR}/streaming/capture_pipeline.cpp ${ASIOCHAN_CLI_DIR}/streaming/run_follower.cpp
    ${ASIOCHAN_CLI_DIR}/streaming/playback_frames.cpp ${ASIOCHAN_CLI_DIR}/streaming/capture_frames.cpp
    ${ASIOCHAN_CLI_DIR}/streaming/stream_feeder.cpp
    ${ASIOCHAN_CLI_DIR}/commands/command_requests.cpp ${ASIOCHAN_CLI_DIR}/commands/sweep_options.cpp ${ASIOCHAN_CLI_DIR}/commands/analyze_options.cpp
    ${ASIOCHAN_CLI_DIR}/streaming/analysis_take.cpp
    ${ASIOCHAN_CLI_DIR}/system/host/worker_thread.cpp ${ASIOCHAN_CLI_DIR}/system/host/clock.cpp)
# The measurement room's maths (the FFT, the delay search, the sweep) is portable;
# its console display is not.
file(GLOB ASIOCHAN_CLI_MEASURE_SOURCES CONFIGURE_DEPENDS ${ASIOCHAN_CLI_DIR}/measure/*.cpp)
list(REMOVE_ITEM ASIOCHAN_CLI_MEASURE_SOURCES ${ASIOCHAN_CLI_DIR}/measure/level_display.cpp)
list(APPEND ASIOCHAN_CLI_PORTABLE_SOURCES ${ASIOCHAN_CLI_MEASURE_SOURCES})
# The measuring maths runs seconds of audio through transforms in the unit tests:
# unoptimised, under the sanitizers, a take's analysis takes minutes. -O1 keeps
# every sanitizer check (and is what the sanitizers advise).
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set_source_files_properties(${ASIOCHAN_CLI_MEASURE_SOURCES} PROPERTIES COMPILE_OPTIONS -O1)
endif()
# Compiled once for the unit tests and the benchmarks.
add_library(asiochan_cli_portable OBJECT ${ASIOCHAN_CLI_PORTABLE_SOURCES})
target_include_directories(asiochan_cli_portable PUBLIC ${ASIOCHAN_CLI_DIR})
asiochan_warnings(asiochan_cli_portable)
target_link_libraries(asiochan_cli_portable PUBLIC asiochan_test_instance asiochan_simcore)
add_executable(asiochan_unit_tests ${ASIOCHAN_UNIT_TEST_SOURCES} $<TARGET_OBJECTS:asiochan_cli_portable>)
target_sources(asiochan_unit_tests PRIVATE ${ASIOCHAN_ROOT}/tests/capture_check/capture_check.cpp)
# The table of commands, with the tests' stand-ins for the commands' runs.
target_sources(asiochan_unit_tests PRIVATE ${ASIOCHAN_CLI_DIR}/commands/command_table.cpp)
asiochan_includes(asiochan_unit_tests)
target_include_directories(asiochan_unit_tests PRIVATE ${ASIOCHAN_ROOT}/tests ${ASIOCHAN_ROOT}/tests/unit
                                                      ${ASIOCHAN_ROOT}/tools/cli)
asiochan_warnings(asiochan_unit_tests)
target_link_libraries(asiochan_unit_tests PRIVATE asiochan_test_instance asiochan_simcore GTest::gtest GTest::gtest_main)
# Heap calls and mutex locks are counted per thread (tests/unit/support/allocation_counter.cpp).
target_link_options(asiochan_unit_tests PRIVATE
    -Wl,--wrap=malloc -Wl,--wrap=free -Wl,--wrap=calloc -Wl,--wrap=realloc -Wl,--wrap=pthread_mutex_lock)
# ctest's limits are a few times what a passing run takes on a busy two-core
# machine (the sanitizers run several times slower): a hang fails with the
# test's name, long before CI's own limit.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    set(asiochan_time_factor 5)
else()
    set(asiochan_time_factor 1)
endif()
# Every GoogleTest case is a ctest entry of its own (unit.Suite.Case), listed from
# the binary when ctest starts, so that `ctest -j2` runs them side by side and a
# failure or a hang is named as soon as its case ends. Each case runs in a process
# of its own: nothing a case leaves behind reaches another, and the files a case
# writes go to a folder of its process's own (support/scratch_folder.cpp).
include(GoogleTest)
set(asiochan_slow_cases "SoakTest.*")
set(asiochan_left_out "${asiochan_slow_cases}")
# ThreadSanitizer finds races between threads: the suites of the measuring maths
# run on one thread (and take minutes under it), so its build leaves them out.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
    string(APPEND asiochan_left_out ":TakeAnalysis.*:SweepMaths.*:AnalyzeMaths.*")
endif()
math(EXPR asiochan_timeout "60 * ${asiochan_time_factor}")
gtest_discover_tests(asiochan_unit_tests
    TEST_PREFIX "unit."
    TEST_FILTER "-${asiochan_left_out}"
    NO_PRETTY_VALUES  # a parameter's bytes would make names that change from run to run
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${asiochan_timeout} LABELS unit)
# The soak on its own, so that its time shows (ASIOCHAN_SOAK_PERIODS sizes it).
add_test(NAME soak COMMAND asiochan_unit_tests --gtest_filter=${asiochan_slow_cases})
math(EXPR asiochan_timeout "300 * ${asiochan_time_factor}")
set_tests_properties(soak PROPERTIES TIMEOUT ${asiochan_timeout} LABELS slow)

# capture_check FILE INPUTS: checks a capture of the simulated driver's inputs,
# every byte (the Windows builds make it too, with the host's compiler, for the
# long capture test).
add_executable(asiochan_capture_check tests/capture_check/main.cpp tests/capture_check/capture_check.cpp)
target_include_directories(asiochan_capture_check PRIVATE ${ASIOCHAN_ROOT}/tests)
asiochan_warnings(asiochan_capture_check)
target_link_libraries(asiochan_capture_check PRIVATE asiochan_simcore)
set_target_properties(asiochan_capture_check PROPERTIES OUTPUT_NAME capture_check)

if(ASIOCHAN_BENCH AND EXISTS ${ASIOCHAN_ROOT}/bench)
    find_package(benchmark REQUIRED)
    file(GLOB ASIOCHAN_BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
    if(ASIOCHAN_BENCH_SOURCES)
        add_executable(asiochan_bench ${ASIOCHAN_BENCH_SOURCES} $<TARGET_OBJECTS:asiochan_cli_portable>)
        asiochan_includes(asiochan_bench)
        target_include_directories(asiochan_bench PRIVATE ${ASIOCHAN_ROOT}/tests ${ASIOCHAN_ROOT}/tests/unit
                                                          ${ASIOCHAN_ROOT}/tools/cli)
        asiochan_warnings(asiochan_bench)
        target_link_libraries(asiochan_bench PRIVATE asiochan_test_instance asiochan_simcore benchmark::benchmark benchmark::benchmark_main)
    endif()
endif()

# The library on Linux (libasiochan.so, libasiochan_sim.so), which the Python
# package's tests load: built where the build is the product's kind, not under a
# sanitizer or the fuzzer.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    include(${ASIOCHAN_ROOT}/cmake/linux_library.cmake)
endif()

if(ASIOCHAN_FUZZ AND EXISTS ${ASIOCHAN_ROOT}/fuzz/CMakeLists.txt)
    add_subdirectory(fuzz)
endif()
