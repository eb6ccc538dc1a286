#include "net/NameLookup.h"

#include <QHostInfo>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QList<QHostAddress> Addresses(const QSignalSpy& spy, int i = 0) {
    return spy.at(i).first().value<QList<QHostAddress>>();
}

// Every address comes, in the system's order, whatever its family; a
// numeric address is its own answer. None comes inside Start.
TEST(NameLookupTest, EveryAddressInOrderAndNumericAddressesAsTheyAre) {
    TNameLookup lookup;
    QSignalSpy found(&lookup, &TNameLookup::Found);

    lookup.Start(QStringLiteral("localhost"));
    EXPECT_TRUE(found.isEmpty());
    EXPECT_TRUE(lookup.Running());
    ASSERT_TRUE(found.wait(5000));
    const QList<QHostAddress> system = QHostInfo::fromName(QStringLiteral("localhost")).addresses();
    ASSERT_FALSE(system.isEmpty());
    EXPECT_EQ(Addresses(found), system);
    EXPECT_FALSE(lookup.Running());

    struct Case {
        QString text;
        QHostAddress address;
    };
    for (const Case& c : {Case{"127.0.0.7", QHostAddress("127.0.0.7")},
                          Case{"::1", QHostAddress(QHostAddress::LocalHostIPv6)}}) {
        SCOPED_TRACE(c.text.toStdString());
        found.clear();
        lookup.Start(c.text);
        EXPECT_TRUE(found.isEmpty());
        ASSERT_TRUE(found.wait(5000));
        EXPECT_EQ(Addresses(found), QList<QHostAddress>{c.address});
    }
}

// Only the lookup started last answers: one started over, or given up,
// stays silent even when its answer arrives.
TEST(NameLookupTest, StaleAnswersAreDropped) {
    TNameLookup lookup;
    QSignalSpy found(&lookup, &TNameLookup::Found);

    // The first answer of each pair is on its way (a numeric one is queued
    // already) when the second lookup starts.
    for (const QString& first : {QStringLiteral("localhost"), QStringLiteral("127.0.0.8")}) {
        SCOPED_TRACE(first.toStdString());
        found.clear();
        lookup.Start(first);
        lookup.Start(QStringLiteral("127.0.0.9"));
        ASSERT_TRUE(found.wait(5000));
        QTest::qWait(300); // time for the first answer to come, if it were let through
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(Addresses(found), QList<QHostAddress>{QHostAddress("127.0.0.9")});
    }

    found.clear();
    lookup.Start(QStringLiteral("localhost"));
    lookup.Abort();
    lookup.Start(QStringLiteral("127.0.0.10"));
    lookup.Abort();
    QTest::qWait(300);
    EXPECT_TRUE(found.isEmpty());
    EXPECT_FALSE(lookup.Running());
}

// The numeric answer comes from the event loop, so a bound of a moment has
// no chance to fire first; once the answer is there the bound is stopped.
TEST(NameLookupTest, AnswerStopsTheBound) {
    TNameLookup lookup;
    QSignalSpy found(&lookup, &TNameLookup::Found);
    QSignalSpy timedOut(&lookup, &TNameLookup::TimedOut);
    lookup.Start(QStringLiteral("127.0.0.11"), 100);
    ASSERT_TRUE(found.wait(5000));
    QTest::qWait(250);
    EXPECT_TRUE(timedOut.isEmpty());
    EXPECT_EQ(found.size(), 1);
}

TEST(NameLookupTest, FirstIPv4SkipsOtherFamilies) {
    const QHostAddress v6(QHostAddress::LocalHostIPv6), v4a("127.0.0.2"), v4b("127.0.0.3");
    EXPECT_EQ(TNameLookup::FirstIPv4({v6, v4a, v4b}), std::optional<QHostAddress>(v4a));
    EXPECT_EQ(TNameLookup::FirstIPv4({v6}), std::nullopt);
    EXPECT_EQ(TNameLookup::FirstIPv4({}), std::nullopt);
}

} // namespace
