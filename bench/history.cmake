velmora_bench(history_bench LIBS velmora_engine SOURCES history_bench.cpp)
