velmora_bench(metrics_bench
    LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/metrics_bench.cpp)
target_compile_definitions(metrics_bench PRIVATE
    VELMORA_HEADLESS="$<TARGET_FILE:velmora-headless>")
add_dependencies(metrics_bench velmora-headless)
