#pragma once

#include "bookdetails.h"

#include <QByteArray>
#include <QImage>

// The cover of a book file, at most `size` pixels on its longer side, or a null image when the
// file shows none that can be read: EPUB, PDF, comic archives (CBZ, CB7, CBR, CBT), FB2,
// MOBI/AZW3 and DjVu. Only a regular file is opened; pictures and archive members are read up
// to fixed limits. Runs only in the helper program: the readers parse what any file brings.
// The path is the name's bytes: a name need not be valid text.
QImage readCover(const QByteArray &path, int size);
// What the book says of itself (title, authors, series, year, publisher, language): EPUB, PDF,
// FB2 (also zipped), MOBI/AZW3 and comic archives with a ComicInfo.xml; nothing for others. Runs
// only in the helper program, with the same limits as the covers.
BookDetails readDetails(const QByteArray &path);
