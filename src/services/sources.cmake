target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/scm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logon_right.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32)
