# The wizard inspector of the GUI tests (tests/extra).
add_executable(tvctl tvctl.c)
target_link_options(tvctl PRIVATE -municode)
target_link_libraries(tvctl PRIVATE oleacc ole32 oleaut32)
