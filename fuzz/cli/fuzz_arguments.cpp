// Parses arbitrary argument lists as the command-line program does (bytes
// split at NUL into arguments): no crash, no hang, and whatever is accepted
// lies within the ranges the program promises its commands.

#include "cli/Commands.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("kelvar517-cli")};
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const QByteArray &word : bytes.split('\0').mid(0, 24))
        arguments << QString::fromUtf8(word);
    const cli::ParsedArguments parsed = cli::parseArguments(arguments);
    if (parsed.command.isEmpty() || parsed.help || !parsed.usageError.isEmpty())
        return 0;
    const cli::LinkOptions &link = parsed.link;
    if (link.address < 0 || link.address > 255 || link.timeout < 200 || link.timeout > 30000 || link.parityIndex < 0
        || link.parityIndex > 2 || link.baudIndex < 0 || link.baudIndex > 3 || link.pause < link::MinRequestPause
        || link.pause > link::MaxRequestPause)
        std::abort();
    return 0;
}
