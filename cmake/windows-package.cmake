# The Windows deliverables, built with the programs: an installer
# (rtqflash-<version>-setup.exe, NSIS) and a zip of the two programs.
# Both carry the programs without their debug information.

find_program(RTQ_MAKENSIS makensis REQUIRED)
set(rtq_win_stage ${CMAKE_BINARY_DIR}/package-win)
file(MAKE_DIRECTORY ${rtq_win_stage})
set(rtq_win_setup ${CMAKE_BINARY_DIR}/rtqflash-${PROJECT_VERSION}-setup.exe)
set(rtq_win_zip ${CMAKE_BINARY_DIR}/rtqflash-${PROJECT_VERSION}-win64.zip)
set(rtq_win_nsi ${CMAKE_SOURCE_DIR}/packaging/windows/rtqflash.nsi)
set(rtq_win_programs rtqflash rtqflash-cli)

set(rtq_win_copy)
foreach(program ${rtq_win_programs})
  list(APPEND rtq_win_copy COMMAND ${CMAKE_STRIP} --strip-debug
       -o ${rtq_win_stage}/${program}.exe $<TARGET_FILE:${program}>)
endforeach()

add_custom_command(OUTPUT ${rtq_win_setup} ${rtq_win_zip}
  ${rtq_win_copy}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/copyright
          ${rtq_win_stage}/copyright.txt
  COMMAND ${RTQ_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${rtq_win_stage}
          -DOUTFILE=${rtq_win_setup} -DICON=${CMAKE_BINARY_DIR}/winui/rtqflash.ico ${rtq_win_nsi}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${rtq_win_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${rtq_win_zip} --format=zip
          rtqflash.exe rtqflash-cli.exe copyright.txt
  WORKING_DIRECTORY ${rtq_win_stage}
  DEPENDS ${rtq_win_programs} ${rtq_win_nsi} ${CMAKE_SOURCE_DIR}/packaging/copyright
  COMMENT "Windows installer and zip"
  VERBATIM)
add_custom_target(rtq_windows_package ALL DEPENDS ${rtq_win_setup} ${rtq_win_zip})
