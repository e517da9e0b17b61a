orvanta_fuzz_target(fuzz_catalog_json SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_catalog_json.cpp LIBS orvanta_stations)
