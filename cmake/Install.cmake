# Where an installed Tidekeep puts its parts, relative to the prefix. The binding looks for the
# archiver libraries at ../lib/tidekeep/archivers from the program's folder, so the library folder
# is "lib" on every system (not the multiarch one), and the programs find their private libraries
# through run paths relative to themselves: an installed tree works from any prefix or DESTDIR.
# The window-message library the programs and the archiver libraries share lives in that same
# folder: one place for our shared objects, and none directly below /usr/lib/tidekeep, where
# CPack would take it for a system library and give the package ldconfig scripts (a package with
# a postrm stays known to dpkg after `apt-get remove`).
set(TIDEKEEP_INSTALL_LIBDIR lib/tidekeep/archivers)

# tidekeep_program(target): a program of the package, installed into bin/. It may link the
# window-message library and, like tidekeep-lha, an archiver library directly.
function(tidekeep_program target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${TIDEKEEP_INSTALL_LIBDIR}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# tidekeep_archiver_library(target): one of our archiver libraries. It lands in archivers/ beside
# the programs in the build tree, finding the window-message library one folder up, and in
# lib/tidekeep/archivers when installed, beside that library.
function(tidekeep_archiver_library target)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${TIDEKEEP_ARCHIVERS_DIR}
    BUILD_RPATH "$ORIGIN/.."
    INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${TIDEKEEP_INSTALL_LIBDIR})
endfunction()

# tidekeep_private_library(target): a shared library of the program's own, not for other programs.
function(tidekeep_private_library target)
  install(TARGETS ${target} LIBRARY DESTINATION ${TIDEKEEP_INSTALL_LIBDIR})
endfunction()
