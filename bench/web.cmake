velmora_bench(web_bench
    LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/web_bench.cpp)
