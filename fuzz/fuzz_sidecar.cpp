// Fuzzes what a reader says of its books: a KOReader sidecar's text, a Kobo ContentID. Whatever
// the bytes, the answer is a share of the book from 0 to 100 or nothing, and a path stays inside
// the reader.
#include "readstatus.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReadStatus s = sidecarStatus(bytes);
    if (s.percent < -1 || s.percent > 100 || (s.isKnown() && s.text().isEmpty() && s.percent != 0))
        std::abort();
    const QByteArray path = koboBookPath(QString::fromUtf8(bytes));
    if (path.startsWith('/') || path.startsWith("../") || path.contains("/../"))
        std::abort();
    return 0;
}
