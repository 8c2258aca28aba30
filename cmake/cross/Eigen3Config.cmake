include(${CMAKE_CURRENT_LIST_DIR}/TavrinHostHeaders.cmake)
tavrin_host_headers(Eigen3::Eigen /usr/include/eigen3/Eigen /usr/include/eigen3/unsupported)
