# SPDX-License-Identifier: Apache-2.0
# Included by tests/CMakeLists.txt: every fuzz target built with a plain driver (replay_main.cpp)
# instead of libFuzzer, and one test per target that replays its committed corpus
# (corpus/<target>/) and the inputs of earlier findings (regressions/<target>/). The normal and
# the sanitizer builds of scripts/test.sh run them, so a finding once fixed stays fixed.
# A fuzzing build (CAMLIFT_FUZZ) instruments the core for libFuzzer and has no replays.
if(NOT CAMLIFT_FUZZ)
  file(GLOB _camlift_fuzz_targets CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/targets/*.cpp)
  foreach(source ${_camlift_fuzz_targets})
    get_filename_component(name ${source} NAME_WE)
    add_executable(fuzz_replay_${name} ${source} ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
    target_include_directories(fuzz_replay_${name} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(fuzz_replay_${name} PRIVATE camlift_core camlift_warnings)
    add_test(NAME fuzz.replay.${name}
             COMMAND fuzz_replay_${name} ${CMAKE_CURRENT_LIST_DIR}/corpus/${name}
                     ${CMAKE_CURRENT_LIST_DIR}/regressions/${name})
    set_tests_properties(fuzz.replay.${name} PROPERTIES ENVIRONMENT "${CAMLIFT_TEST_ENV}"
                         TIMEOUT 120)
  endforeach()
endif()
