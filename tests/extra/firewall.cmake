# A double of Windows' firewall (Wine's objects store nothing), registered once; each test keeps
# its state in its own file, named by TARVOLK_FIREWALL_STATE.
add_test(NAME firewall-double-register
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/firewall-register ${TESTBIN32}/tvfwdouble.dll ${TESTBIN64}/tvfwdouble.dll)
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
