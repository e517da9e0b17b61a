orvanta_fuzz_target(fuzz_title_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_title_text.cpp LIBS orvanta_nowplaying)
orvanta_fuzz_target(fuzz_rfc3339 SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_rfc3339.cpp LIBS orvanta_nowplaying)
orvanta_fuzz_target(fuzz_now_playing_json SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_now_playing_json.cpp LIBS orvanta_nowplaying)
