# page/: the running-programs page (InitDialog, Show, Dialog): its layout and message loop, the
# view that shows a search's rows, the watch over the listed programs and the close sequence, the
# list's menu and Copy List, and AddTooltip. Uses search/ and system/.
target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_monitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_access.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tooltip.cpp
)
