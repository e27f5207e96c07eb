# Man pages, written at build time by help2man from each program's --help and --version, and
# installed with the program's package.
find_program(KT_HELP2MAN help2man)
find_program(KT_GZIP gzip)
if(NOT KT_HELP2MAN OR NOT KT_GZIP)
  message(STATUS "help2man or gzip not found: no man pages")
  return()
endif()

set(kt_man_kt-vistrand-server "price-check server for KX25 terminals" server)
set(kt_man_ktdb "inspect the tables and compound indexes of an accounting data folder" cli)
set(kt_man_ktvistrand-lookup "look scanned codes up in accounting data as a terminal would" cli)
set(kt_man_kx25ctl "find KX25 terminals and read, save and write their configuration" cli)
set(kt_man_kx25sim "simulated KX25 terminals for tests, demos and load" cli)
set(kt_man_kx25config "configuration tool for KX25 terminals on the desktop" tool)

set(kt_man_pages)
set(kt_man_programs kt-vistrand-server ktdb ktvistrand-lookup kx25ctl kx25sim)
if(KT_BUILD_GUI)
  list(APPEND kt_man_programs kx25config)
endif()
foreach(program ${kt_man_programs})
  if(NOT TARGET ${program})
    message(FATAL_ERROR "packaging: man page for ${program}, which is not defined")
  endif()
  list(GET kt_man_${program} 0 description)
  list(GET kt_man_${program} 1 component)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${KT_HELP2MAN} --no-info --section 1 --name ${description} --output ${page}
            $<TARGET_FILE:${program}>
    COMMAND ${KT_GZIP} -9nf ${page}
    DEPENDS ${program}
    COMMENT "Man page ${program}(1)"
    VERBATIM)
  list(APPEND kt_man_pages ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
add_custom_target(kt_man_pages ALL DEPENDS ${kt_man_pages})
