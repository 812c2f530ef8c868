# Under qemu-user without binfmt handlers, a target program cannot exec
# another target program, and neither can a host shell script. Each target
# program therefore gets a launcher: a shell script of the same name that
# runs it through CMAKE_CROSSCOMPILING_EMULATOR. The tests start the programs
# through the launchers, and put the launchers on the page's PATH for imish.
#
# emulator_launchers(DIR TARGET...) writes DIR/<output name> for each target.
function(emulator_launchers dir)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
  foreach(target IN LISTS ARGN)
    # -0 keeps the launcher's own name as argv[0], as an exec would.
    file(GENERATE OUTPUT ${dir}/$<TARGET_FILE_NAME:${target}>
      CONTENT "#!/bin/sh\nexec ${emulator} -0 \"$0\" $<TARGET_FILE:${target}> \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()
