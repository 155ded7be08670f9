# The examples, each built for every variant and run by example-run; the test programs stand for
# what they install (tvsvc.exe, tvvictim.exe).
set(EXAMPLE_RUN ${CMAKE_CURRENT_LIST_DIR}/example-run)
set(EXAMPLE_STATE_DIR ${TARVOLK_BUILD}/firewall)
file(MAKE_DIRECTORY ${EXAMPLE_STATE_DIR})
string(REPLACE "/" "\\" EXAMPLE_STATE_WIN "Z:${EXAMPLE_STATE_DIR}")

foreach(variant ${TARVOLK_VARIANTS})
  add_test(NAME example-services-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} services --service SERVICE_EXE=${TESTBIN64}/tvsvc.exe)
  add_test(NAME example-firewall-${variant} COMMAND ${EXAMPLE_RUN} ${variant} firewall)
  # The firewall double (registered by firewall.cmake's fixture) stands where Windows' would.
  set_tests_properties(example-firewall-${variant} PROPERTIES
    FIXTURES_REQUIRED firewall-double
    ENVIRONMENT "TARVOLK_FIREWALL_STATE=${EXAMPLE_STATE_WIN}\\example-firewall-${variant}.txt")
  add_test(NAME example-processes-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} processes --twice --ready=ready.txt APP_EXE=${TESTBIN32}/tvvictim.exe
            "APP_ARGS=class=tvex-processes-${variant} caption=tvex-processes-${variant} style=1 mark=$INSTDIR\\ready.txt")
  add_test(NAME example-settings-${variant} COMMAND ${EXAMPLE_RUN} ${variant} settings --reg)
  add_test(NAME example-runas-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} runas --ready=tvcmdline.txt APP_EXE=${TESTBIN32}/tvvictim.exe)
  # Installed twice: the upgrade and the uninstaller close the program by its window.
  set(bye ${TARVOLK_BUILD}/examples/${variant}/silent/bye.txt)
  string(REPLACE "/" "\\" bye_win "Z:${bye}")
  add_test(NAME example-silent-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} silent --twice --ready=ready.txt --bye=${bye}
            APP_EXE=${TESTBIN32}/tvvictim.exe APP_DLL=${TESTBIN32}/mods/tvmod.dll
            LIB_NAME=tvex-silent-${variant}.dll DATA_NAME=tvex-silent-${variant}.dat
            "APP_ARGS=class=tvex-silent-${variant} caption=tvex-silent-${variant} style=1 dll=$INSTDIR\\tvex-silent-${variant}.dll file=$INSTDIR\\tvex-silent-${variant}.dat mark=$INSTDIR\\ready.txt bye=${bye_win}")
  # Silently the example closes the running copy without its page.
  add_test(NAME example-programs-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} programs --twice --ready=ready.txt APP_EXE=${TESTBIN32}/tvvictim.exe
            "APP_ARGS=class=tvex-programs-${variant} caption=tvex-programs-${variant} style=1 mark=$INSTDIR\\ready.txt")
  foreach(name services firewall processes settings runas silent programs)
    set_tests_properties(example-${name}-${variant} PROPERTIES TIMEOUT 300 LABELS wine)
  endforeach()
  # Its file target reads the handle table: alone, as the table's other readers.
  set_tests_properties(example-silent-${variant} PROPERTIES RUN_SERIAL TRUE)
endforeach()
