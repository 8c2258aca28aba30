include(${CMAKE_CURRENT_LIST_DIR}/TavrinHostHeaders.cmake)
tavrin_host_headers(nlohmann_json::nlohmann_json /usr/include/nlohmann)
