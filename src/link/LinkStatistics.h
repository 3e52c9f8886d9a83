#pragma once
// Counts of what happened on the link during one connection: requests sent,
// replies accepted, time-outs, error replies by code, wrong replies, replies
// with a bad CRC, and the response time (from the last byte of the request
// written to the reply complete) per function code. The exchange engine feeds
// it; the protocol tab shows report() once a second.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kelvar::link {

class LinkStatistics
{
public:
    // Response times of one function code, in microseconds. The median is
    // taken over the most recent RecentSamples replies, minimum and maximum
    // over all of them.
    struct Times {
        int count = 0;
        qint64 minUs = 0;
        qint64 medianUs = 0;
        qint64 maxUs = 0;
    };
    static constexpr int RecentSamples = 1024;

    void reset();

    void requestSent(int function);
    void replyAccepted(int function, qint64 responseUs);
    void errorReply(int errorCode);
    void wrongReply();
    void badCrcReply();
    void timeout();

    int requestsSent() const { return m_sent; }
    int repliesAccepted() const { return m_accepted; }
    int timeouts() const { return m_timeouts; }
    int wrongReplies() const { return m_wrong; }
    int badCrcReplies() const { return m_badCrc; }
    int errorRepliesTotal() const;
    const QMap<int, int> &errorReplies() const { return m_errors; } // by error code
    QMap<int, Times> responseTimes() const;                         // by function code

    // The figures as lines of text for the operator.
    QStringList report() const;

private:
    struct Samples {
        int count = 0;
        qint64 minUs = 0;
        qint64 maxUs = 0;
        QList<qint64> recent; // a ring of the last RecentSamples
        int next = 0;
    };

    int m_sent = 0;
    int m_accepted = 0;
    int m_timeouts = 0;
    int m_wrong = 0;
    int m_badCrc = 0;
    QMap<int, int> m_errors;
    QMap<int, Samples> m_times;
};

} // namespace kelvar::link
