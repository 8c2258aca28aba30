include(${CMAKE_CURRENT_LIST_DIR}/TavrinHostHeaders.cmake)
tavrin_host_headers(CLI11::CLI11 /usr/include/CLI)
