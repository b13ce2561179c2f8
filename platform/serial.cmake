# The serial API and the main-thread hand-over. comm_termios2.cpp holds the kernel's
# termios2 header, which cannot share a file with the C library's termios.
find_package(Threads REQUIRED)
target_sources(korvex_platform PRIVATE comm_posix.cpp comm_termios2.cpp MainThread.cpp)
target_link_libraries(korvex_platform PUBLIC Threads::Threads)
