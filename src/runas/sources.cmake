target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/non_elevated.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runas_page.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32 user32 gdi32)
