#pragma once

#include <QByteArray>
#include <QString>

// How far a book on a reader was read, as the reader records it: a share of the book, or
// finished; nothing known when the reader says nothing.
struct ReadStatus
{
    int percent = -1; // 0 to 100; -1 when not known
    bool finished = false;

    bool isKnown() const { return finished || percent >= 0; }
    // "finished", "45% read", or empty when nothing (or nothing read yet) is known.
    QString text() const;
    bool operator==(const ReadStatus &) const = default;
};

// A KOReader sidecar's metadata (`<book>.sdr/metadata.<format>.lua`): `percent_finished` (0 to
// 1) and the status in its `summary` ("complete" is finished). Whatever bytes it holds, damaged
// or hostile, it answers with what it could read, nothing when nothing.
ReadStatus sidecarStatus(const QByteArray &lua);
// A Kobo's row of a book: ReadStatus 0 unread, 1 reading, 2 finished, and ___PercentRead.
ReadStatus koboStatus(int readStatus, int percentRead);
// The path on the reader, from its root, of a Kobo ContentID "file:///mnt/onboard/<path>";
// empty for any other.
QByteArray koboBookPath(const QString &contentId);
