#include "meter/ResponseDispatcher.h"

#include "link/Frame.h"

namespace kelvar::meter {

using link::ResponseKind;

ResponseDispatcher::ResponseDispatcher(link::ExchangeEngine &engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_engine.setResponseHandler([this](const QByteArray &response) { ProcessResponse(response); });
}

ResponseDispatcher::~ResponseDispatcher()
{
    m_engine.setResponseHandler({});
}

void ResponseDispatcher::registerOwner(const QList<int> &codes, Owner owner)
{
    for (int code : codes)
        m_owners.insert(code, owner);
}

void ResponseDispatcher::unregisterOwner(const QList<int> &codes)
{
    for (int code : codes)
        m_owners.remove(code);
}

void ResponseDispatcher::ProcessResponse(const QByteArray &response)
{
    link::Classification result = link::classifyResponse(response, m_engine.currentRequest(), m_engine.protocol());
    const int code = response.isEmpty() ? -1 : static_cast<quint8>(response[0]);
    // A response nobody decodes can neither be accepted nor left waiting: it
    // fails like a response to another request.
    if (result.kind == ResponseKind::Normal && !m_owners.contains(code)) {
        result.kind = ResponseKind::WrongResponse;
        result.text = link::WrongResponseText;
    }

    if (result.kind == ResponseKind::ErrorReply)
        m_engine.meterAnswered();
    if (result.kind != ResponseKind::Normal) {
        m_engine.AddToProtocol(result.text);
        emit responseFailed(result.text);
        if (result.kind == ResponseKind::ErrorReply && result.errorCode == 3)
            m_engine.repeatRequest();
        else if (!m_engine.queue().isEmpty())
            m_engine.AbortQueue();
        return;
    }

    m_engine.meterAnswered();
    emit responseAccepted(response);
    const quint64 head = m_engine.headSerial();
    const QByteArray request = m_engine.currentFrame();
    m_owners.value(code)(response, request);
    // The owner may already have ended the exchange (aborted the queue or
    // disconnected); then the head is another request and stays.
    if (m_engine.headSerial() == head)
        m_engine.RemoveCommand();
}

} // namespace kelvar::meter
