// The agent's few SNMPv1 messages on the wire: reading a get request and
// writing its response. Only what the simulated access point needs.
#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace apsim::wire {

struct GetRequest {
    QByteArray community;
    qint32 requestId = 0;
    QList<QByteArray> names;  // the encoded object identifiers (content bytes)
};

// A well-formed SNMPv1 get request, or nothing.
std::optional<GetRequest> parseGetRequest(const QByteArray& datagram);

// The response: with `errorStatus` 0, sysDescr.0 gets `description` and any
// other name the error noSuchName; a non-zero status comes back with error
// index 1 and the names unanswered.
QByteArray response(const GetRequest& request, int errorStatus, const QByteArray& description);

}  // namespace apsim::wire
