# CTest's time limits are bounds against a hang, not speeds: each is written
# for a quiet machine that runs 32-bit programs natively and multiplied by
# what scripts/patience says for this one (4 under qemu's i386 emulator),
# read when the tree is configured.
execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/patience
                OUTPUT_VARIABLE KELVO_TEST_PATIENCE OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE patience_status)
if(NOT patience_status EQUAL 0 OR NOT KELVO_TEST_PATIENCE MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "scripts/patience gave no whole number: '${KELVO_TEST_PATIENCE}'")
endif()

# kelvo_test_limit(SECONDS TEST...): the tests' time limit, SECONDS on such a
# machine.
function(kelvo_test_limit seconds)
  math(EXPR scaled "${seconds} * ${KELVO_TEST_PATIENCE}")
  set_tests_properties(${ARGN} PROPERTIES TIMEOUT ${scaled})
endfunction()

# GoogleTest lists a native test program's tests when it is built: a bound
# for that as well (CMake's own default is 5 s).
math(EXPR kelvo_discovery_timeout "60 * ${KELVO_TEST_PATIENCE}")
