# Counts a process's handles from the system handle table, for the installers' leak checks.
add_executable(tvhandles tvhandles.c)
