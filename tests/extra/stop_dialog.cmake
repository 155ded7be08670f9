# The stop-service progress dialog on screen: a screenshot under the test display, kept in
# build/screens/ for a person to look at. It takes the display in turn with the other screen tests,
# so that no other window lies on the picture.
foreach(variant x86-ansi x86-unicode)
  add_test(NAME screenshot-stop-dialog-${variant}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/screenshot ${variant} StopServiceShowsItsDialogUntilStopped "Stopping the service"
            ${TARVOLK_BUILD}/screens/stop-dialog-${variant}.png service=${TESTBIN64}/tvsvc.exe stopdelay=8000)
  set_tests_properties(screenshot-stop-dialog-${variant} PROPERTIES TIMEOUT 300 LABELS "wine;screenshot" RESOURCE_LOCK x-display)
endforeach()
