# Installation: `cmake --install build --prefix P`.
#
#   P/bin/                     the seven programs, and beside them the structure
#                              tables "opttb.dat" and "optbre.dat" when the
#                              source tree has them in tables/ (wrapping looks
#                              for its tables in its own directory, also when it
#                              is run through PATH)
#   P/share/man/man1/          one manual page per program
#   P/share/doc/swnt_tools/    the commented example parameter files
#   P/share/swnt_tools/viewer/ the viewer page, when it has been built
#                              (`npm ci && npm run build` in viewer/)
include(GNUInstallDirs)

set(swnt_programs wrapping ballconv xyzframes linkframes scenejoin topoconv assemble)
install(TARGETS ${swnt_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The tables are data supplied beside the program; a build without them still
# installs, and wrapping then reports the missing file when -t or -b asks for it.
foreach(table opttb.dat optbre.dat)
  install(FILES ${PROJECT_SOURCE_DIR}/tables/${table} DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)
endforeach()

foreach(program ${swnt_programs})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN "*.sh" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                   WORLD_READ WORLD_EXECUTE)

# The viewer is built by npm, not by CMake: its dist/ is installed when it is
# there at install time.
set(swnt_viewer_dist ${PROJECT_SOURCE_DIR}/viewer/dist)
install(CODE "
  if(EXISTS \"${swnt_viewer_dist}/index.html\")
    file(INSTALL \"${swnt_viewer_dist}/\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/swnt_tools/viewer\")
  else()
    message(STATUS \"Viewer not installed: ${swnt_viewer_dist} is not built\")
  endif()")
