#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Finding a book's cover inside its own documents: pure parsing of text the book brings, so
// every function takes whatever bytes a damaged or hostile file holds and answers "none".

// A path inside an archive, from an href found in the document at base: relative to that
// document's folder, percent-encoding decoded, "." and ".." resolved; empty when it would
// leave the archive or is no path at all (a URL, a fragment).
QString resolveHref(const QString &base, const QString &href);

// The package document named by an EPUB's META-INF/container.xml.
QString epubPackagePath(const QByteArray &containerXml);

// The archive path of an EPUB's cover image: the manifest item marked "cover-image", else the
// item a <meta name="cover"> names (an image, or a page whose first image is taken), else the
// first image of the first spine document. readMember gives an archive member's bytes.
QString epubCoverPath(const QByteArray &packageXml, const QString &packagePath,
                      const std::function<QByteArray(const QString &)> &readMember);

// The first image that an (X)HTML or SVG page shows: an <img src> or an <image xlink:href>,
// as a path inside the archive.
QString firstImageOf(const QByteArray &page, const QString &pagePath);

// The bytes of an FB2 book's cover picture: the <coverpage> image, from its <binary>.
QByteArray fb2Cover(const QByteArray &xml);

// A comic archive's cover: its first image in natural order of the member names.
QString firstComicImage(const QStringList &names);
