target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/os_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/env_var.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multi_string.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32 user32)
