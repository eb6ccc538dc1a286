#pragma once

#include "IcmpHosts.h"
#include "icmp/Pinger.h"
#include "monitor/MonitorCycle.h"

#include <string>

// The cycle's echo with the real pinger, from a thread inside the namespace
// of `role`, so that its probes stay between the test hosts.
inline TMonitorCycle::EchoFunction EchoFromNamespace(const TIcmpHosts& hosts,
                                                     const std::string& role) {
    const TIcmpHosts* h = &hosts;
    return [h, role](const QString& address, int timeOut) {
        TEchoResult r;
        h->OnThreadIn(role, [&] {
            TPinger p;
            p.Host = address;
            p.TimeOut = timeOut;
            p.Echo();
            r.replied = p.Replied;
            r.roundTripTime = p.RoundTripTime;
            r.replyText = p.ReplyText;
            r.messages = p.Messages;
        });
        return r;
    };
}
