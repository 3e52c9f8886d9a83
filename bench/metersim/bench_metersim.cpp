// Prints how fast the simulated meter is: generating its two-year history,
// answering requests in its protocol core, and round trips through its
// pseudo-terminal in both protocol types (no wire-time emulation, so the
// figures are the simulator's own cost, far below any real line).

#include "link/Catalogue.h"
#include "link/Frame.h"
#include "metersim/MeterModel.h"
#include "metersim/MeterServer.h"
#include "metersim/SimClient.h" // the test client of tests/metersim

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace kelvar;
using namespace kelvar::link;
using namespace kelvar::sim;

namespace {

QList<QByteArray> journalBatch()
{
    QList<QByteArray> requests;
    for (int k = 0; k < 256; ++k)
        requests << readSettingsJournalRequest(static_cast<quint8>(k));
    for (int d = 1; d <= 31; ++d)
        requests << readDayJournalRequest(d, 4, 2026);
    for (int i = 0; i < PollCycleLength; ++i)
        requests << PollRequest(i);
    return requests;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 now = MeterModel::hostNowMs();

    QElapsedTimer clock;
    const int births = 20;
    clock.start();
    for (int i = 0; i < births; ++i) {
        MeterState s;
        s.seed = static_cast<quint32>(i + 1);
        MeterModel model(s);
        model.powerOn(now);
        model.process(AppendCrc(readProfileRequest(1, 0, 2025)), now);
    }
    std::printf("history generation (two years, first journal read): %.2f ms a meter\n",
                clock.nsecsElapsed() / 1e6 / births);

    MeterModel model;
    model.powerOn(now);
    const QList<QByteArray> batch = journalBatch();
    const int rounds = 200;
    clock.restart();
    for (int r = 0; r < rounds; ++r)
        for (const QByteArray &request : batch)
            model.process(AppendCrc(request), now + r);
    std::printf("protocol core: %.2f us a request (%lld requests: settings journal, daily journal, poll cycle)\n",
                clock.nsecsElapsed() / 1e3 / (rounds * batch.size()), static_cast<long long>(rounds * batch.size()));

    for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
        MeterServer server;
        server.updateState([&](MeterState &s) { s.protocol = protocol; });
        QString error;
        if (!server.start(&error)) {
            std::printf("cannot start the simulator: %s\n", qPrintable(error));
            return 1;
        }
        test::SimClient client(server.devicePath());
        clock.restart();
        int answered = 0;
        for (const QByteArray &request : batch)
            answered += !client.exchange(request, protocol, 0).isEmpty();
        std::printf("pseudo-terminal round trip, %s: %.3f ms an exchange (%d of %lld answered)\n",
                    protocol == Protocol::Rs485 ? "Rs-485 (address echo + frame)" : "MODBUS",
                    clock.nsecsElapsed() / 1e6 / batch.size(), answered, static_cast<long long>(batch.size()));
    }
    return 0;
}
