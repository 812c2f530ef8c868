# How a test starts the program it runs. The chain, outermost first:
#
#   1. the sanitizers' settings (WEBCGI_SANITIZE only): set outside the
#      sandbox so that every process of the test inherits them, the pages and
#      stand-ins it starts included;
#   2. scripts/sandbox.sh: a private mount and IPC namespace (with PID also a
#      process namespace) with tmpfs on the pages' fixed paths, the source and
#      build trees kept reachable;
#   3. env G_SLICE=always-malloc (cross builds only): see webcgi_test_emulator;
#   4. the emulator (cross builds only): qemu-user runs the target's program.
#
# webcgi_test_launcher(<var> [PID]) sets <var> to that chain, as a list.
# webcgi_add_test(NAME <name> [PID] COMMAND <command>...) adds a test whose
# command runs under it.
# webcgi_test_emulator(<var>) sets <var> to layers 3 and 4 alone, empty on a
# host build: how a target program runs when a test or script starts it.
# emulator_launchers(<dir> <target>...) writes a launcher per target program.

function(webcgi_test_emulator var)
  set(emulator)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    # qemu-user's glib slice allocator is not fork-safe: a test thread that
    # forks while another translates code can leave the child waiting on the
    # allocator's lock forever. With plain malloc the fork handlers cover it.
    set(emulator /usr/bin/env G_SLICE=always-malloc ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  set(${var} ${emulator} PARENT_SCOPE)
endfunction()

function(webcgi_test_launcher var)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PID" "" "")
  set(launcher)
  if(WEBCGI_SANITIZE)
    # run_process passes these on to the page and stand-in processes.
    # ClearSilver has no frame pointers: only the slow unwinder finds the
    # callers a leak suppression names.
    # Reports go to files as well as the exit status: a finding in a program
    # that a page starts (imish) may not change what the test sees.
    # scripts/test shows them and fails when there are any.
    set(report ${PROJECT_BINARY_DIR}/sanitizer-reports/report)
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/sanitizer-reports)
    list(APPEND launcher /usr/bin/env
      ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0:log_path=${report}
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0
      UBSAN_OPTIONS=print_stacktrace=1:log_path=${report})
  endif()
  list(APPEND launcher ${PROJECT_SOURCE_DIR}/scripts/sandbox.sh)
  if(arg_PID)
    list(APPEND launcher --pid)
  endif()
  list(APPEND launcher --keep ${PROJECT_BINARY_DIR} --keep ${PROJECT_SOURCE_DIR})
  webcgi_test_emulator(emulator)
  list(APPEND launcher ${emulator})
  set(${var} ${launcher} PARENT_SCOPE)
endfunction()

function(webcgi_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "PID" "NAME" "COMMAND")
  if(arg_PID)
    webcgi_test_launcher(launcher PID)
  else()
    webcgi_test_launcher(launcher)
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${launcher} ${arg_COMMAND})
endfunction()

# Under qemu-user without binfmt handlers, a target program cannot exec
# another target program, and neither can a host shell script. Each target
# program therefore gets a launcher: a shell script of the same name that
# runs it through the emulator. The tests start the programs through the
# launchers, and put the launchers on the page's PATH for imish.
function(emulator_launchers dir)
  webcgi_test_emulator(emulator)
  list(JOIN emulator " " emulator)
  foreach(target IN LISTS ARGN)
    # -0 keeps the launcher's own name as argv[0], as an exec would.
    file(GENERATE OUTPUT ${dir}/$<TARGET_FILE_NAME:${target}>
      CONTENT "#!/bin/sh\nexec ${emulator} -0 \"$0\" $<TARGET_FILE:${target}> \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()
