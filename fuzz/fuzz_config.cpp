// Fuzzes the config.ini reader: any bytes are read without a crash, and what a Save writes from
// the values read gives those values back.
#include "configfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ConfigValues v = parseConfig(bytes);
    const QString book = v.book.value_or(QString());
    const QString read = v.read.value_or(QString());
    const ConfigValues back = parseConfig(formatConfig(book, read));
    // A value read from one line holds no line end, so it survives the round trip whole,
    // unless it held a character that is not valid UTF-8 (then it was read as U+FFFD).
    if (back.book.value_or(QString()) != book || back.read.value_or(QString()) != read)
        std::abort();
    return 0;
}
