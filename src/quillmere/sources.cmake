# The running-program and locked-file checks, in four layers; each layer's sources.cmake says
# what it owns and which layers it may use. A layer includes only the layers below it (scripts/
# build checks this): system, then search and tools beside each other on it, then page on search.
target_sources(Tarvolk PRIVATE ${CMAKE_CURRENT_LIST_DIR}/module.cpp)
foreach(layer system search tools page)
  include(${CMAKE_CURRENT_LIST_DIR}/${layer}/sources.cmake)
endforeach()
target_link_libraries(Tarvolk PRIVATE advapi32 comctl32 version user32 shell32)
