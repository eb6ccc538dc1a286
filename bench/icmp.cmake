# RTT accuracy of TPinger beside iputils ping against a responder that delays
# its echo replies, idle and under load. A measurement program, run by hand as
# root: <build>/bench/icmp_rtt_bench [probes] [delay-ms] [busy-loops]
if(NOT TARGET icmp_delay_responder)
    add_executable(icmp_delay_responder ${PROJECT_SOURCE_DIR}/tests/peers/IcmpDelayResponder.cpp)
endif()
velmora_bench(icmp_rtt_bench LIBS velmora_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/IcmpRttBench.cpp ${PROJECT_SOURCE_DIR}/tests/peers/IcmpHosts.cpp)
target_include_directories(icmp_rtt_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/peers)
target_compile_definitions(icmp_rtt_bench PRIVATE
    VELMORA_PEERS_DIR="${PROJECT_SOURCE_DIR}/tests/peers"
    VELMORA_RESPONDER="$<TARGET_FILE:icmp_delay_responder>")
