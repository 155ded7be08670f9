# The program the start exports start in their tests: it records its command line and directory.
add_executable(tvcmdline tvcmdline.c)
