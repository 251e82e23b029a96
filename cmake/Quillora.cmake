# quillora_add_library(NAME SOURCES... [LINKS targets...])
# One static library per source folder; the folder is its include root.
function(quillora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(quillora_${name} STATIC ${ARG_SOURCES})
  target_include_directories(quillora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(quillora_${name} PUBLIC ${ARG_LINKS})
endfunction()

# quillora_add_test(NAME SOURCES... [LINKS targets...] [LABELS labels...] [GUI])
# One QtTest executable per class or subsystem, registered with CTest.
function(quillora_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(test_${name} ${ARG_SOURCES})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE Qt6::Test ${ARG_LINKS})
  target_compile_definitions(test_${name} PRIVATE
    QUILLORA_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    QUILLORA_BINARY="$<TARGET_FILE:quillora>")
  add_test(NAME ${name} COMMAND test_${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
  # Tests labelled "pulse" play into and unload the suite's shared null sinks: one at a time.
  # Tests labelled "keyring" use the suite's one secret service, and one of them stops it for a while;
  # "hotkeys" ones grab keys on the one X server; "busname" ones take the app's name on the session bus;
  # "focus" ones activate windows on the one X server, or need theirs to stay active while they check.
  set(locks)
  if("pulse" IN_LIST ARG_LABELS)
    list(APPEND locks pulseaudio)
  endif()
  foreach(lock keyring hotkeys busname focus)
    if("${lock}" IN_LIST ARG_LABELS)
      list(APPEND locks ${lock})
    endif()
  endforeach()
  if(locks)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()
