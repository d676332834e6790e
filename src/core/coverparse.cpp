#include "coverparse.h"

#include "naturalsort.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// The value of an attribute by its local name, whatever its namespace prefix.
QString attribute(const QXmlStreamReader &xml, QStringView name)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == name)
            return a.value().toString();
    }
    return {};
}

bool isImagePath(const QString &path)
{
    static const QRegularExpression images(QStringLiteral("\\.(jpe?g|png|gif|webp|bmp)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return images.match(path).hasMatch();
}

} // namespace

QString resolveHref(const QString &base, const QString &href)
{
    QString path = href.trimmed();
    path.truncate(path.indexOf(u'#') < 0 ? path.size() : path.indexOf(u'#'));
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (path.isEmpty() || scheme.match(path).hasMatch())
        return {};
    path = QUrl::fromPercentEncoding(path.toUtf8());
    if (!path.startsWith(u'/'))
        path = base.left(base.lastIndexOf(u'/') + 1) + path;
    QStringList parts;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (parts.isEmpty())
                return {}; // above the archive's root
            parts.removeLast();
        } else if (part != u".") {
            parts << part;
        }
    }
    return parts.join(u'/');
}

QString epubPackagePath(const QByteArray &containerXml)
{
    QXmlStreamReader xml(containerXml);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"rootfile")
            return resolveHref(QString(), attribute(xml, u"full-path"));
    }
    return {};
}

QString firstImageOf(const QByteArray &page, const QString &pagePath)
{
    // Tolerant of pages that are not well-formed: the first <img> or <image> tag's link. The
    // repeats are bounded, so that no page makes the search slow.
    static const QRegularExpression tag(
        QStringLiteral("<(?:img|image|svg:image)\\b[^>]{0,2000}?\\s(?:src|xlink:href|href)\\s*="
                       "\\s*([\"'])(.{0,2000}?)\\1"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = tag.match(QString::fromUtf8(page));
    return m.hasMatch() ? resolveHref(pagePath, m.captured(2)) : QString();
}

QString epubCoverPath(const QByteArray &packageXml, const QString &packagePath,
                      const std::function<QByteArray(const QString &)> &readMember)
{
    struct Item
    {
        QString href, type;
    };
    QHash<QString, Item> items;
    QString coverImage, coverId, firstSpine;
    QXmlStreamReader xml(packageXml);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"item") {
            const QString href = resolveHref(packagePath, attribute(xml, u"href"));
            items.insert(attribute(xml, u"id"), {href, attribute(xml, u"media-type")});
            if (coverImage.isEmpty()
                && attribute(xml, u"properties").split(u' ').contains(u"cover-image"))
                coverImage = href;
        } else if (xml.name() == u"meta" && attribute(xml, u"name") == u"cover") {
            coverId = attribute(xml, u"content");
        } else if (xml.name() == u"itemref" && firstSpine.isEmpty()) {
            firstSpine = attribute(xml, u"idref");
        }
    }
    if (!coverImage.isEmpty())
        return coverImage;
    if (const auto named = items.constFind(coverId); named != items.constEnd()) {
        if (named->type.startsWith(u"image/") || isImagePath(named->href))
            return named->href;
        const QString shown = firstImageOf(readMember(named->href), named->href);
        if (!shown.isEmpty())
            return shown;
    }
    const QString page = items.value(firstSpine).href;
    return page.isEmpty() ? QString() : firstImageOf(readMember(page), page);
}

QByteArray fb2Cover(const QByteArray &xmlText)
{
    QString id;
    bool inCoverpage = false;
    QXmlStreamReader xml(xmlText);
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"coverpage")
            inCoverpage = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"coverpage") {
            inCoverpage = true;
        } else if (inCoverpage && id.isEmpty() && xml.name() == u"image") {
            id = attribute(xml, u"href");
            if (!id.startsWith(u'#'))
                return {}; // only pictures inside the book
            id.remove(0, 1);
        } else if (xml.name() == u"binary" && !id.isEmpty() && attribute(xml, u"id") == id) {
            return QByteArray::fromBase64(xml.readElementText().toLatin1());
        }
    }
    return {};
}

QString firstComicImage(const QStringList &names)
{
    QString best;
    std::string bestKey;
    for (const QString &name : names) {
        if (!isImagePath(name) || name.startsWith(QStringLiteral("__MACOSX/"))
            || name.section(u'/', -1).startsWith(u'.'))
            continue;
        std::string key;
        const QByteArray bytes = name.toUtf8();
        appendNaturalSortKey(key, std::string_view(bytes.data(), size_t(bytes.size())));
        if (best.isEmpty() || key < bestKey || (key == bestKey && name < best)) {
            best = name;
            bestKey = std::move(key);
        }
    }
    return best;
}
