// Drives the real handlers of the shelf window and the pop-up commands with a few thousand
// random operations on a library of a few hundred books, against a model of what the folders
// must hold, and checks every book byte for byte after every step.
#include "commands.h"
#include "testsupport.h"

#include <QDir>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTest>
#include <cstdio>
#include <map>

namespace {

using Shelf = std::map<QString, QByteArray>; // file name to content
using Model = std::map<QString, Shelf>; // shelf name to its books

constexpr int DefaultOperations = 2000;
constexpr int StartBooks = 240;

} // namespace

class TestRandomized : public QObject
{
    Q_OBJECT
private slots:
    void randomOperationsLoseNothing();

private:
    bool check(const QString &libPath, const Model &model, int &checked, QString &why);
};

bool TestRandomized::check(const QString &libPath, const Model &model, int &checked, QString &why)
{
    const QStringList shelves = QDir(libPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (int(shelves.size()) != int(model.size())) {
        why = QStringLiteral("%1 shelves on disk, %2 expected")
                  .arg(shelves.size())
                  .arg(model.size());
        return false;
    }
    for (const auto &[shelf, books] : model) {
        QDir dir(libPath + u'/' + shelf);
        const QStringList files = dir.entryList(QDir::Files | QDir::Hidden);
        if (int(files.size()) != int(books.size())) {
            why = QStringLiteral("shelf %1 holds %2 files, %3 expected")
                      .arg(shelf)
                      .arg(files.size())
                      .arg(books.size());
            return false;
        }
        for (const auto &[name, content] : books) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly) || f.readAll() != content) {
                why = QStringLiteral("%1/%2 is missing or changed").arg(shelf, name);
                return false;
            }
            ++checked;
        }
    }
    return true;
}

void TestRandomized::randomOperationsLoseNothing()
{
    const quint32 start = qEnvironmentVariableIsSet("QUILLRACK_RANDOM_START")
        ? quint32(qEnvironmentVariableIntValue("QUILLRACK_RANDOM_START"))
        : 20261206u;
    const int Operations = qEnvironmentVariableIsSet("QUILLRACK_RANDOM_OPERATIONS")
        ? qEnvironmentVariableIntValue("QUILLRACK_RANDOM_OPERATIONS")
        : DefaultOperations;
    QRandomGenerator rng(start);
    ShelfFixture v(0, 0);
    Model model;
    const QStringList shelfNames {"Fiction", "Classics", "Poetry", "Science", "To Read"};
    for (const QString &s : shelfNames)
        model[s];
    for (int i = 0; i < StartBooks; ++i) {
        // Few distinct titles, so that names meet on shelves and overwrites happen.
        const QString name
            = QStringLiteral("Book %1.%2").arg(rng.bounded(60)).arg(i % 3 ? "txt" : "epub");
        const QString shelf = shelfNames[rng.bounded(shelfNames.size())];
        const QByteArray content = QStringLiteral("%1 #%2").arg(name).arg(i).toUtf8();
        model[shelf][name] = content;
    }
    for (const auto &[shelf, books] : model) {
        v.tree.mkdir("lib/" + shelf);
        for (const auto &[name, content] : books)
            v.tree.write("lib/" + shelf + u'/' + name, content);
    }
    v.load();
    Commands commands(v.g, *v.w);
    const QString lib = v.tree.path("lib");
    int checked = 0;
    int done = 0;
    auto fail = [&](const QString &why) {
        QFAIL(qPrintable(QStringLiteral("after %1 operations (random start %2): %3")
                             .arg(done)
                             .arg(start)
                             .arg(why)));
    };
    auto currentShelf = [&] { return v.w->lblWhichShelf->text(); };
    auto pickBookSlot = [&]() -> int {
        const int shown = v.shownBooks();
        return shown ? int(rng.bounded(shown)) : -1;
    };
    auto answer = [&](bool yes, bool yesNo) {
        v.prompter.answers.push_back(yesNo
                                         ? (yes ? Prompter::Answer::Yes : Prompter::Answer::No)
                                         : (yes ? Prompter::Answer::Ok : Prompter::Answer::Cancel));
    };

    for (done = 0; done < Operations; ++done) {
        v.prompter.answers.clear();
        v.prompter.inputs.clear();
        const int op = int(rng.bounded(11));
        const int shelfSlot = int(rng.bounded(int(model.size())));
        switch (op) {
        case 0: { // choose a shelf
            v.w->imgShelf_Click(shelfSlot);
            break;
        }
        case 1:
        case 2: { // drag a book onto another shelf, moving or copying, maybe overwriting
            const int slot = pickBookSlot();
            if (slot < 0)
                break;
            const bool copy = op == 2;
            (copy ? v.w->optCopy : v.w->optMove)->setChecked(true);
            const QString name = v.w->Book[slot]->toolTip();
            const QString from = currentShelf();
            const QString to = v.w->lblShelf[shelfSlot]->text();
            const bool overwrite = rng.bounded(2);
            answer(overwrite, false);
            v.w->Book_MouseMove(slot);
            v.w->imgShelf_DragDrop(shelfSlot);
            if (from != to && (!model[to].count(name) || overwrite)) {
                model[to][name] = model[from][name];
                if (!copy)
                    model[from].erase(name);
            }
            break;
        }
        case 3: { // rename a book, maybe onto another one
            const int slot = pickBookSlot();
            if (slot < 0)
                break;
            v.w->lblBook_MouseDown(slot, Qt::RightButton);
            const QString name = v.g.BookName;
            const QString stem = QStringLiteral("Book %1").arg(rng.bounded(60));
            const QString tail = name.mid(name.indexOf(u'.') + 1);
            const QString newName = stem + u'.' + tail;
            const bool overwrite = rng.bounded(2);
            v.prompter.inputs.push_back(stem);
            answer(overwrite, false);
            commands.mnuBookRename_Click();
            Shelf &books = model[v.g.ShelfName];
            if (newName != name && (!books.count(newName) || overwrite)) {
                books[newName] = books[name];
                books.erase(name);
            }
            break;
        }
        case 4: { // delete a book, or change one's mind
            const int slot = pickBookSlot();
            if (slot < 0)
                break;
            v.w->lblBook_MouseDown(slot, Qt::RightButton);
            const bool yes = rng.bounded(3) == 0;
            answer(yes, true);
            commands.mnuBookDelete_Click();
            if (yes)
                model[v.g.ShelfName].erase(v.g.BookName);
            break;
        }
        case 5: { // mark or unmark
            const int slot = pickBookSlot();
            if (slot < 0)
                break;
            v.w->lblBook_MouseDown(slot, Qt::RightButton);
            if (rng.bounded(3))
                commands.mnuMarkBook_Click(1 + int(rng.bounded(6)));
            else
                commands.mnuUnmark_Click();
            break;
        }
        case 6: { // a new shelf, sometimes one that exists
            const QString name = QStringLiteral("Shelf %1").arg(rng.bounded(6));
            v.prompter.inputs.push_back(name);
            v.w->cmdNewShelf_Click();
            model[name];
            break;
        }
        case 7: { // rename a shelf, sometimes onto another
            v.w->imgShelf_MouseDown(shelfSlot, Qt::RightButton);
            const QString old = v.g.ShelfName;
            const QString name = QStringLiteral("Renamed %1").arg(rng.bounded(4));
            v.prompter.inputs.push_back(name);
            commands.cmdShelfRename_Click();
            if (name != old && !model.count(name)) {
                model[name] = model[old];
                model.erase(old);
            }
            break;
        }
        case 8: { // delete a shelf: refused unless empty
            v.w->imgShelf_MouseDown(shelfSlot, Qt::RightButton);
            const QString name = v.g.ShelfName;
            answer(true, true);
            commands.mnuShelfDelete_Click();
            if (model[name].empty())
                model.erase(name);
            break;
        }
        case 9: { // drop a book on its own shelf: nothing may happen
            const int slot = pickBookSlot();
            if (slot < 0 || v.w->SelectedShelf < 0)
                break;
            v.w->Book_MouseMove(slot);
            v.w->imgShelf_DragDrop(v.w->SelectedShelf);
            break;
        }
        default: // read everything again
            v.w->cmdRefresh_Click();
            break;
        }
        QString why;
        if (!check(lib, model, checked, why))
            return fail(why);
        if (v.w->BookCount() != int(model.count(currentShelf()) ? model[currentShelf()].size() : 0)
            && !currentShelf().isEmpty())
            return fail(QStringLiteral("the grid shows %1 books on %2")
                            .arg(v.w->BookCount())
                            .arg(currentShelf()));
    }
    int books = 0;
    for (const auto &[shelf, content] : model)
        books += int(content.size());
    std::printf("randomized run: %d operations, %d books checked, lost: 0\n", Operations, checked);
    std::fflush(stdout);
    QVERIFY(books > 0);
}

QTEST_MAIN(TestRandomized)
#include "tst_randomized.moc"
