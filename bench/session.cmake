velmora_bench(session_bench
    LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_bench.cpp)
target_compile_definitions(session_bench PRIVATE
    VELMORA_HEADLESS="$<TARGET_FILE:velmora-headless>")
add_dependencies(session_bench velmora-headless)
