#pragma once
// ProcessResponse: every complete response from the meter (address already
// removed) passes through here. The checks common to all commands come first
// (error reply, echo of the function code in "Rs-485"); an accepted response
// then goes to the owner registered for its function code, and its request is
// removed from the queue. A response whose code has no owner is a wrong
// response, like a failed echo: the queue is aborted and polling goes on.

#include "link/ExchangeEngine.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <functional>

namespace kelvar::meter {

class ResponseDispatcher : public QObject
{
    Q_OBJECT
public:
    // Decodes an accepted response. response: function code, length byte,
    // data, CRC (no address). request: the request it answers as function
    // code, length byte and data (no address, no CRC). After the owner returns
    // the dispatcher removes the request from the queue, unless the owner
    // itself already moved the queue on (AbortQueue, disconnect).
    using Owner = std::function<void(const QByteArray &response, const QByteArray &request)>;

    // Installs itself as the engine's response handler.
    explicit ResponseDispatcher(link::ExchangeEngine &engine, QObject *parent = nullptr);
    ~ResponseDispatcher() override;

    // Registers the owner of the given function codes (a later registration
    // of a code replaces the earlier one).
    void registerOwner(const QList<int> &codes, Owner owner);
    void unregisterOwner(const QList<int> &codes);
    bool hasOwner(int code) const { return m_owners.contains(code); }

    void ProcessResponse(const QByteArray &response);

signals:
    // An accepted response, before its owner decodes it (the window shows or
    // hides the schedule and journal gauges by its function code and length).
    void responseAccepted(const QByteArray &response);
    // An error reply or a wrong response, with the text written to the protocol view.
    void responseFailed(const QString &text);

private:
    link::ExchangeEngine &m_engine;
    QHash<int, Owner> m_owners;
};

} // namespace kelvar::meter
