#include "bookindex.h"

#include "naturalsort.h"

#include <algorithm>
#include <array>

namespace {

// Folds text as a whole: decomposed, marks dropped, case folded.
void appendFoldedText(std::string &out, const QString &text)
{
    QString bare;
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        const QChar::Category k = c.category();
        if (k != QChar::Mark_NonSpacing && k != QChar::Mark_SpacingCombining
            && k != QChar::Mark_Enclosing)
            bare.append(c);
    }
    out += bare.toCaseFolded().toStdString();
}

// Each letter written in two bytes (U+0080 to U+07FF: the accented Latin letters, Greek,
// Cyrillic, Hebrew, Arabic) folded alone, once: a name of such letters and ASCII folds letter
// by letter, as the whole would.
const std::array<std::string, 0x800> &twoByteFolds()
{
    static const std::array<std::string, 0x800> folds = [] {
        std::array<std::string, 0x800> f;
        for (char16_t c = 0x80; c < 0x800; ++c)
            appendFoldedText(f[c], QString(QChar(c)));
        return f;
    }();
    return folds;
}

} // namespace

void appendFolded(std::string &out, std::string_view name)
{
    const size_t start = out.size(), n = name.size();
    for (size_t i = 0; i < n; ++i) {
        const quint8 c = quint8(name[i]);
        if (c < 0x80) {
            out.push_back(c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : char(c));
        } else if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (quint8(name[i + 1]) & 0xC0) == 0x80) {
            out += twoByteFolds()[size_t((c & 0x1F) << 6 | (quint8(name[++i]) & 0x3F))];
        } else { // longer letters, or bytes that are not UTF-8: the whole name as it is shown
            out.resize(start);
            appendFoldedText(out, QString::fromUtf8(name.data(), qsizetype(n)));
            return;
        }
    }
}

std::vector<std::string> queryWords(const QString &typed)
{
    std::vector<std::string> words;
    for (const QString &word : QString(typed).remove(QChar(0)).split(u' ', Qt::SkipEmptyParts)) {
        const QByteArray bytes = word.toUtf8();
        appendFolded(words.emplace_back(), std::string_view(bytes.data(), size_t(bytes.size())));
        if (words.back().empty()) // accents alone
            words.pop_back();
    }
    return words;
}

void BookIndex::addShelf(std::string_view name)
{
    m_shelfText += name;
    m_shelfStart.push_back(quint32(m_shelfText.size()));
    m_firstBook.push_back(quint32(bookCount()));
}

void BookIndex::addBook(std::string_view file)
{
    m_fileText += file;
    m_fileStart.push_back(quint32(m_fileText.size()));
    appendFolded(m_folded, file);
    m_folded.push_back('\0');
    m_foldedStart.push_back(quint32(m_folded.size()));
    m_shelfOf.push_back(shelfCount() - 1);
}

void BookIndex::append(const BookIndex &more)
{
    auto shifted
        = [](std::vector<quint32> &to, const std::vector<quint32> &from, size_t skip, quint32 by) {
              for (size_t i = skip; i < from.size(); ++i)
                  to.push_back(from[i] + by);
          };
    const int shelves = shelfCount(), books = bookCount();
    shifted(m_shelfStart, more.m_shelfStart, 1, quint32(m_shelfText.size()));
    shifted(m_firstBook, more.m_firstBook, 0, quint32(bookCount()));
    shifted(m_fileStart, more.m_fileStart, 1, quint32(m_fileText.size()));
    shifted(m_foldedStart, more.m_foldedStart, 1, quint32(m_folded.size()));
    for (const qint32 shelf : more.m_shelfOf)
        m_shelfOf.push_back(shelf + shelves);
    m_shelfText += more.m_shelfText;
    m_fileText += more.m_fileText;
    m_folded += more.m_folded;
    for (const auto &[at, book] : more.m_detailsOwner) {
        if (more.m_detailsAt[size_t(book)] == qint32(at))
            setDetails(books + book, more.details(book));
    }
}

bool BookIndex::sameBooks(const BookIndex &other) const
{
    return m_shelfText == other.m_shelfText && m_shelfStart == other.m_shelfStart
        && m_firstBook == other.m_firstBook && m_fileText == other.m_fileText
        && m_fileStart == other.m_fileStart;
}

QByteArray BookIndex::shelfName(int shelf) const
{
    const size_t s = size_t(shelf);
    return QByteArray(m_shelfText.data() + m_shelfStart[s],
                      qsizetype(m_shelfStart[s + 1] - m_shelfStart[s]));
}

QByteArray BookIndex::fileName(int book) const
{
    const size_t b = size_t(book);
    return QByteArray(m_fileText.data() + m_fileStart[b],
                      qsizetype(m_fileStart[b + 1] - m_fileStart[b]));
}

void BookIndex::setDetails(int book, std::string_view folded)
{
    if (m_detailsAt.size() < m_shelfOf.size())
        m_detailsAt.resize(m_shelfOf.size(), -1);
    m_detailsAt[size_t(book)] = qint32(m_details.size());
    m_detailsOwner.emplace_back(quint32(m_details.size()), book);
    m_details.append(folded);
    m_details.push_back('\0');
}

std::string_view BookIndex::details(int book) const
{
    if (size_t(book) >= m_detailsAt.size() || m_detailsAt[size_t(book)] < 0)
        return {};
    const std::string_view text
        = std::string_view(m_details).substr(size_t(m_detailsAt[size_t(book)]));
    return text.substr(0, text.find('\0'));
}

std::vector<int> BookIndex::find(const std::vector<std::string> &words, int fromShelf) const
{
    std::vector<int> found;
    if (words.empty() || fromShelf >= shelfCount())
        return found;
    const size_t first = m_firstBook[size_t(fromShelf)];
    auto holdsAll = [&](size_t book, std::string_view name) {
        const std::string_view said = details(int(book));
        return std::all_of(words.begin(), words.end(), [&](const std::string &w) {
            return name.find(w) != name.npos || said.find(w) != said.npos;
        });
    };
    // The longest word is searched for through all names and details at once; the others only
    // in the books that hold it.
    const std::string &key = *std::max_element(
        words.begin(), words.end(), [](auto &a, auto &b) { return a.size() < b.size(); });
    const std::string_view all(m_folded);
    size_t book = first;
    for (size_t hit = all.find(key, m_foldedStart[book]); hit != all.npos;
         hit = all.find(key, m_foldedStart[book])) {
        while (m_foldedStart[book + 1] <= hit)
            ++book;
        if (holdsAll(
                book,
                all.substr(m_foldedStart[book], m_foldedStart[book + 1] - m_foldedStart[book])))
            found.push_back(int(book));
        ++book; // the rest of this name holds nothing new
    }
    const std::string_view said(m_details);
    const size_t before = found.size();
    for (size_t hit = said.find(key); hit != said.npos; hit = said.find(key, hit + 1)) {
        const auto owner = std::prev(std::upper_bound(m_detailsOwner.begin(), m_detailsOwner.end(),
                                                      std::pair(quint32(hit), qint32(INT32_MAX))));
        const size_t b = size_t(owner->second);
        const size_t start = m_foldedStart[b];
        if (b >= first && m_detailsAt[b] == qint32(owner->first)
            && holdsAll(b, all.substr(start, m_foldedStart[b + 1] - start)))
            found.push_back(int(b));
        hit = said.find('\0', hit); // the rest of this text holds nothing new
    }
    if (found.size() > before) {
        std::sort(found.begin() + qsizetype(before), found.end());
        std::inplace_merge(found.begin(), found.begin() + qsizetype(before), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
    }
    // Within each shelf, the order of the bookcase: by natural key, then by the exact bytes.
    std::vector<std::pair<std::string, int>> keyed;
    for (auto run = found.begin(); run != found.end();) {
        auto next
            = std::find_if(run, found.end(), [&](int b) { return shelfOf(b) != shelfOf(*run); });
        if (next - run > 1) {
            keyed.clear();
            for (auto it = run; it != next; ++it) {
                const size_t b = size_t(*it);
                keyed.emplace_back(std::string(), *it);
                appendNaturalSortKey(keyed.back().first,
                                     std::string_view(m_fileText.data() + m_fileStart[b],
                                                      m_fileStart[b + 1] - m_fileStart[b]));
            }
            std::sort(keyed.begin(), keyed.end(), [&](const auto &x, const auto &y) {
                return x.first != y.first ? x.first < y.first
                                          : fileName(x.second) < fileName(y.second);
            });
            std::transform(keyed.begin(), keyed.end(), run, [](auto &k) { return k.second; });
        }
        run = next;
    }
    return found;
}
