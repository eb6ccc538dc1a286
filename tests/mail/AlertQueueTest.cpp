#include "mail/AlertQueue.h"

#include <gtest/gtest.h>

TEST(AlertQueue, OneEntryPerNotifyAddressInOrderEmptyOnesIncluded) {
    TNotificationQueue q;
    q.QueueAlert({"a@x.org", "", "c@x.org"}, "10.1.2.3", "Router room", "DOWN",
                 "Wed Mar 12, 2003 10:22:11");
    ASSERT_EQ(q.Count(), 3u);
    const QStringList to = {"a@x.org", "", "c@x.org"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(q.Entries()[i].address, to[qsizetype(i)]);
        EXPECT_EQ(q.Entries()[i].subject, "Velmora Alert");
        EXPECT_EQ(q.Entries()[i].details,
                  "Router room [ 10.1.2.3 ]  DOWN on: Wed Mar 12, 2003 10:22:11");
    }
    q.QueueAlert({}, "10.1.2.3", "", "Up", "t");
    EXPECT_EQ(q.Count(), 3u);
    EXPECT_TRUE(TNotificationQueue::AlertDetails("1.2.3.4", "", "Up", "t").startsWith(" [ "));
}
