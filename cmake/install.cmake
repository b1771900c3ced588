# Installation and the two Debian packages: "station" (the terminal, the
# shipping, the diagnostics and the stand-ins) and "management" (import,
# reports, administration, the schema).

set(TQ_DATADIR ${CMAKE_INSTALL_DATADIR}/tq)

function(tq_install_programs component)
  foreach(prog ${ARGN})
    if(TARGET ${prog})
      install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
    endif()
    if(EXISTS ${CMAKE_SOURCE_DIR}/docs/man/${prog}.1)
      install(FILES ${CMAKE_SOURCE_DIR}/docs/man/${prog}.1
              DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
    endif()
  endforeach()
endfunction()

function(tq_install_data component destination)
  foreach(file ${ARGN})
    if(EXISTS ${CMAKE_SOURCE_DIR}/${file})
      install(FILES ${CMAKE_SOURCE_DIR}/${file} DESTINATION ${destination} COMPONENT ${component})
    endif()
  endforeach()
endfunction()

tq_install_programs(station tqrunner_tui tqwl2dir tqstest analis_check tms_check tqrunner_sim tqslave_sim)
tq_install_programs(management tqwl2db tqraport tqmanager)

tq_install_data(station ${TQ_DATADIR}
  terminal/tqrtui_inter.txt
  shipping/hooks/pre-trans.sh
  shipping/hooks/post-trans.sh)
tq_install_data(station lib/systemd/system
  shipping/systemd/tqwl2dir.service
  shipping/systemd/tqwl2dir.timer)
tq_install_data(management ${TQ_DATADIR}
  report/tqraport.ini
  import/tqwl2db.ini
  platform/tqmanage/schema.sql
  platform/tqmanage/tqdb.ini.example)

file(GLOB tq_docs ${CMAKE_SOURCE_DIR}/docs/*.md)
foreach(component station management)
  install(FILES ${tq_docs} ${CMAKE_SOURCE_DIR}/README.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tq-${component} COMPONENT ${component})
endforeach()

set(CPACK_PACKAGE_NAME tq)
set(CPACK_PACKAGE_VENDOR "TQ")
set(CPACK_PACKAGE_CONTACT "TQ maintainers <tq@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Production-floor monitoring")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL station management)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Runtime dependencies are read off the programs by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_STATION_PACKAGE_NAME tq-station)
set(CPACK_DEBIAN_STATION_DESCRIPTION
  "TQ station side: live terminal, worklog shipping, diagnostics\n Counts each workstation's classified samples live and ships the station's worklogs with MD5 digests through a transfer directory.")
set(CPACK_DEBIAN_MANAGEMENT_PACKAGE_NAME tq-management)
set(CPACK_DEBIAN_MANAGEMENT_PACKAGE_SUGGESTS "mariadb-server | default-mysql-server")
set(CPACK_DEBIAN_MANAGEMENT_DESCRIPTION
  "TQ management side: worklog import, reports, administration\n Imports shipped worklogs into a MariaDB/MySQL database and prints day, month and short reports per worker and category of work.")
include(CPack)
