# The example installers of examples/, each built for every variant, installed and uninstalled
# silently under Wine by example-run and compared with examples/NAME.expected. The programs they
# install are the test programs: tvsvc.exe as the service, tvvictim.exe as a program to close
# (it marks when its window is up), tvcmdline.exe as a program that records how it was started.
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
    COMMAND ${EXAMPLE_RUN} ${variant} runas --ready=tvcmdline.txt APP_EXE=${TESTBIN32}/tvcmdline.exe)
  # The running-programs page is shown only in an interactive installation (gui-page drives the
  # page itself); silently, the example closes the running copy without a page.
  add_test(NAME example-programs-${variant}
    COMMAND ${EXAMPLE_RUN} ${variant} programs --twice --ready=ready.txt APP_EXE=${TESTBIN32}/tvvictim.exe
            "APP_ARGS=class=tvex-programs-${variant} caption=tvex-programs-${variant} style=1 mark=$INSTDIR\\ready.txt")
  foreach(name services firewall processes settings runas programs)
    set_tests_properties(example-${name}-${variant} PROPERTIES TIMEOUT 300 LABELS wine)
  endforeach()
endforeach()
