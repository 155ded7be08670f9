# Tests with drivers of their own. The firewall tests use a double of Windows' firewall (Wine's
# objects store nothing), registered once, each width by its own regsvr32; each keeps its state in
# a file named by TARVOLK_FIREWALL_STATE.
set(DRIVERS ${CMAKE_CURRENT_LIST_DIR})
string(REPLACE "/" "\\" DOUBLE32 "Z:${TESTBIN32}/tvfwdouble.dll")
string(REPLACE "/" "\\" DOUBLE64 "Z:${TESTBIN64}/tvfwdouble.dll")
add_test(NAME firewall-double-register COMMAND sh -c "wine regsvr32 /s \"$1\" && /usr/lib/wine/wine64 regsvr32 /s \"$2\""
  register ${DOUBLE32} ${DOUBLE64})
set_tests_properties(firewall-double-register PROPERTIES FIXTURES_SETUP firewall-double LABELS wine)
set(FIREWALL_STATE_DIR ${TARVOLK_BUILD}/firewall)
file(MAKE_DIRECTORY ${FIREWALL_STATE_DIR})
string(REPLACE "/" "\\" FIREWALL_STATE_WIN "Z:${FIREWALL_STATE_DIR}")
foreach(test harness-x86-ansi harness-x86-unicode harness-amd64-unicode nsis-firewall-x86-ansi nsis-firewall-x86-unicode
    nsis-firewall-amd64-unicode nsis-header-x86-ansi nsis-header-x86-unicode nsis-header-amd64-unicode)
  if(TEST ${test})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED firewall-double)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "TARVOLK_FIREWALL_STATE=${FIREWALL_STATE_WIN}\\${test}.txt")
  endif()
endforeach()

# The examples, run by example-run; the test programs stand for what they install.
set(EXAMPLE_RUN ${DRIVERS}/example-run)
foreach(variant ${TARVOLK_VARIANTS})
  add_test(NAME example-services-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} services --service SERVICE_EXE=${TESTBIN64}/tvsvc.exe)
  add_test(NAME example-firewall-${variant} COMMAND ${EXAMPLE_RUN} ${variant} firewall)
  set_tests_properties(example-firewall-${variant} PROPERTIES
    FIXTURES_REQUIRED firewall-double
    ENVIRONMENT "TARVOLK_FIREWALL_STATE=${FIREWALL_STATE_WIN}\\example-firewall-${variant}.txt")
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
  # The README's nsis blocks, and its stack table against the DLL's exports.
  add_test(NAME readme-nsis-${variant} COMMAND ${DRIVERS}/readme-blocks ${variant})
  set_tests_properties(readme-nsis-${variant} PROPERTIES TIMEOUT 300)
  # Wizards under Xvfb share one display and pointer: they take turns.
  add_test(NAME gui-script-${variant} COMMAND ${DRIVERS}/script-gui ${variant})
  set_tests_properties(gui-script-${variant} PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display)
endforeach()
add_test(NAME release-archive COMMAND ${DRIVERS}/release-archive x86-unicode)
set_tests_properties(release-archive PROPERTIES TIMEOUT 300 LABELS wine)

# The page's handle scans can take down processes under Wine 8, and page-looks changes the
# prefix's DPI and colours: those run alone.
add_test(NAME gui-page-x86-ansi COMMAND ${DRIVERS}/page-gui x86-ansi classic)
add_test(NAME gui-page-x86-unicode COMMAND ${DRIVERS}/page-gui x86-unicode mui)
set_tests_properties(gui-page-x86-ansi gui-page-x86-unicode PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
foreach(variant x86-ansi x86-unicode)
  add_test(NAME gui-looks-${variant} COMMAND ${DRIVERS}/page-looks ${variant})
  set_tests_properties(gui-looks-${variant} PROPERTIES TIMEOUT 900 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
  add_test(NAME gui-runas-${variant} COMMAND ${DRIVERS}/runas-gui ${variant})
  set_tests_properties(gui-runas-${variant} PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display)
endforeach()
