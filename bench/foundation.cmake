velmora_bench(foundation_bench
    LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/foundation_bench.cpp)
