// The deck snapshot decoder over arbitrary bytes. Whatever it accepts must
// encode again and decode to the same snapshot; whatever it refuses must come
// with a description.

#include "sync/SnapshotJson.h"

#include <QByteArrayView>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const vexlor::SnapshotDecoding decoded = vexlor::SnapshotJson::decode(bytes);
    if (!decoded.snapshot) {
        if (decoded.error.isEmpty())
            std::abort();
        return 0;
    }
    const vexlor::SnapshotEncoding encoded = vexlor::SnapshotJson::encode(*decoded.snapshot);
    if (!encoded.bytes)
        std::abort();
    const vexlor::SnapshotDecoding again = vexlor::SnapshotJson::decode(*encoded.bytes);
    if (!again.snapshot || !(*again.snapshot == *decoded.snapshot))
        std::abort();

    (void)vexlor::SnapshotJson::parseTimestamp(QString::fromUtf8(bytes));
    return 0;
}
