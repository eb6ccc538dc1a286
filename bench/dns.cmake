velmora_bench(dns_bench
    LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dns_bench.cpp)
target_include_directories(dns_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
