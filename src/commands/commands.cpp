#include "commands.h"

#include "bookcase.h"
#include "bookname.h"
#include "globalstate.h"
#include "marks.h"
#include "marksline.h"
#include "names.h"
#include "prompter.h"
#include "transfer.h"

#include <memory>

namespace {

const QString SameNameTitle = QStringLiteral("Same Name");
const QString NameNotChanged = QStringLiteral("Name not changed.");

// A failure as the user is told of it: what could not be done, and the system's reason.
Notice failure(const QString &title, const QString &what, const QString &error)
{
    return {title, what + QStringLiteral("\r\n\r\n") + error};
}

// Why a shelf cannot take the name of a file that lies in the Main Book Folder.
QString fileTakesName(const QString &name, const QString &library)
{
    return QStringLiteral("A file named '%1' lies in the Main Book Folder (%2), so no shelf can "
                          "take that name.")
        .arg(name, library);
}

} // namespace

void Commands::showSaved(const MarksSaved &saved)
{
    m_bookcase.report(saved.failure);
    if (saved.reloaded) // the marks of another copy came with it
        m_bookcase.FillBooks();
}

bool Commands::confirmDelete(const QString &title, const QString &name)
{
    return g.prompter->agrees(title, deleteQuestion(name), Prompter::Buttons::YesNo);
}

QString Commands::deleteQuestion(const QString &name)
{
    return QStringLiteral("'%1' will be permanently deleted.\r\n\r\nAre you sure you want to "
                          "delete %1?")
        .arg(name);
}

void Commands::mnuMarkBook_Click(int Index)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget &t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    // The marks file is one line of text: a line break would break it for every other mark,
    // a name that is not readable text could not be read back as itself, nor one whose comma
    // and number would read as the end of a shorter name ("Vol,3 Part.txt" would mark "Vol").
    const bool lineBreak = t.BookName.contains('\n') || t.BookName.contains('\r');
    const bool readable = readableName(t.BookName);
    if (lineBreak || !readable || !MarksLine::readsBack(t.BookName, Index)) {
        m_bookcase.report(
            {QStringLiteral("Cannot Mark Book"),
             QStringLiteral("This book's file name %1, so it cannot be marked. Rename the book "
                            "first.")
                 .arg(lineBreak       ? QStringLiteral("holds a line break")
                          : !readable ? QStringLiteral("is not readable text")
                                      : QStringLiteral("holds a comma followed by a number, which "
                                                       "the marks file would read as the end of "
                                                       "the name"))});
        return;
    }
    m_bookcase.showColour(t.BookNumber, Index);
    showSaved(changeMark(g, t.BookName, Index)); // marked.dat is written at once: a crash keeps it
}

void Commands::mnuUnmark_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget &t = m_bookcase.target();
    const MarksLine::Entry entry = g.Marks.FindMarkEntry(t.BookName);
    if (t.BookName.isEmpty() || !entry.found)
        return;
    m_bookcase.showColour(t.BookNumber, 0);
    showSaved(changeMark(g, t.BookName, 0));
}

void Commands::mnuSendToReader_Click()
{
    const PopUpTarget &t = m_bookcase.target();
    if (!t.BookName.isEmpty())
        m_bookcase.sendToReader({t.ShelfName, t.BookName});
}

void Commands::mnuBookRename_Click()
{
    renameBook(QStringLiteral("Rename Book"), QString());
}

void Commands::mnuRenameFromDetails_Click()
{
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    const std::optional<BookDetails> details = detailsOf
        ? detailsOf(m_bookcase.bookPath(t.ShelfName, t.BookName).bytes())
        : std::nullopt;
    const qsizetype dot = t.BookName.indexOf('.');
    const QString proposed = details
        ? nameFromDetails(*details, dot < 0 ? QByteArray() : t.BookName.mid(dot))
        : QString();
    if (proposed.isEmpty()) {
        g.prompter->message(QStringLiteral("Rename from Details"),
                            details ? QStringLiteral("This book does not give its title.")
                                    : QStringLiteral("This book's details have not been read "
                                                     "yet. Try again in a moment."));
        return;
    }
    renameBook(QStringLiteral("Rename from Details"), proposed);
}

void Commands::renameBook(const QString &caption, const QString &proposed)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    const qsizetype dot = t.BookName.indexOf('.');
    // Without a dot there is no format to keep: the whole name is what the user renames.
    const QByteArray title = dot >= 0 ? t.BookName.left(dot) : t.BookName;
    const QString prompt = dot >= 0 ? QStringLiteral("Rename '%1' to ...").arg(shownName(title))
                                    : QStringLiteral("Rename %1 to ...").arg(shownName(t.BookName));
    const QString newName = g.prompter->input(prompt, caption, proposed);
    if (newName.toUtf8() == title) {
        m_bookcase.report({SameNameTitle, NameNotChanged});
        return;
    }
    if (newName.isEmpty()) {
        m_bookcase.reloadBooks();
        return;
    }
    const QByteArray newFileName
        = dot >= 0 ? newName.toUtf8() + t.BookName.mid(dot) : newName.toUtf8();
    if (const Notice refused = typedNameNotice(newName) ? typedNameNotice(newName)
                                                        : typedNameNotice(shownName(newFileName)))
        return m_bookcase.report(refused);
    const Path oldPath = m_bookcase.bookPath(t.ShelfName, t.BookName);
    const Path newPath = m_bookcase.bookPath(t.ShelfName, newFileName);
    const QString oldShown = shownName(t.BookName), newShown = shownName(newFileName);
    auto renamed = std::make_shared<std::optional<bool>>(); // whether, when it was tried
    m_bookcase.runCommand(
        {m_bookcase.bookPath(t.ShelfName).shown(),
         oldPath.bytes(),
         {oldPath.bytes(), newPath.bytes()},
         [fs = g.FileSys, oldPath, newPath, oldShown, newShown,
          renamed](Job::Context &job) -> Notice {
             bool overwrite = false;
             if (fs.FileExists(newPath) && !fs.sameFile(oldPath, newPath)) {
                 if (job.ask(QStringLiteral("Book Exists"),
                             QStringLiteral("Book Exists. Do you wish to overwrite?"),
                             Prompter::Buttons::OkCancel)
                     != Prompter::Answer::Ok)
                     return {};
                 overwrite = true;
             }
             const auto done = job.change(
                 QStringLiteral("'%1' may still be renamed when the folder answers again.")
                     .arg(oldShown),
                 [&] { return fs.RenameFile(oldPath, newPath, overwrite); });
             if (!done)
                 return {}; // stopped before it began
             *renamed = bool(*done);
             if (!*done)
                 return failure(
                     QStringLiteral("Cannot Rename Book"),
                     QStringLiteral("'%1' could not be renamed to '%2'.").arg(oldShown, newShown),
                     done->error());
             return {};
         },
         [this, renamed, shelf = t.ShelfName, from = t.BookName, to = newFileName](Job::Outcome) {
             showChange(*renamed, shelf, from, to);
         }});
}

void Commands::showChange(std::optional<bool> done, const QByteArray &shelf, const QByteArray &gone,
                          const QByteArray &come)
{
    // Done: shown at once; failed: the shelf read again, as it is now; not tried: nothing.
    if (done == true)
        m_bookcase.booksChangedBy(shelf, gone, come);
    else if (done == false)
        m_bookcase.reloadBooks();
}

void Commands::mnuBookDelete_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.BookName.isEmpty())
        return;
    const QString name = shownName(t.BookName);
    if (!confirmDelete(QStringLiteral("Delete Book"), name))
        return m_bookcase.reloadBooks();
    const Path path = m_bookcase.bookPath(t.ShelfName, t.BookName);
    auto deleted = std::make_shared<std::optional<bool>>();
    m_bookcase.runCommand(
        {m_bookcase.bookPath(t.ShelfName).shown(),
         path.bytes(),
         {path.bytes()},
         [fs = g.FileSys, path, name, deleted](Job::Context &job) -> Notice {
             const auto done = job.change(
                 QStringLiteral("'%1' may still be deleted when the folder answers again.")
                     .arg(name),
                 [&] { return fs.DeleteFile(path); });
             if (!done)
                 return {}; // stopped before it began
             *deleted = bool(*done);
             if (!*done)
                 return failure(QStringLiteral("Cannot Delete Book"),
                                QStringLiteral("'%1' could not be deleted.").arg(name),
                                done->error());
             return {};
         },
         [this, deleted, shelf = t.ShelfName, gone = t.BookName](Job::Outcome) {
             showChange(*deleted, shelf, gone);
         }});
}

void Commands::cmdNewShelf_Click()
{
    const CommandScope command(m_bookcase);
    const QString name = g.prompter->input(QStringLiteral("Please enter the name of the new Shelf"),
                                           QStringLiteral("New Shelf"));
    if (name.isEmpty())
        return;
    if (const Notice refused = typedNameNotice(name))
        return m_bookcase.report(refused);
    const Path path = m_bookcase.bookPath(name.toUtf8());
    m_bookcase.runCommand(
        {m_bookcase.libraryFolder(),
         path.bytes(),
         {path.bytes()},
         [fs = g.FileSys, path, name,
          library = m_bookcase.libraryFolder()](Job::Context &job) -> Notice {
             if (fs.FolderExists(path))
                 return {QStringLiteral("Shelf Exists"),
                         QStringLiteral("'%1' already exists. Cannot create it.").arg(name)};
             if (fs.nameState(path) == NameState::Taken) // a file the bookcase never shows
                 return {QStringLiteral("Name Taken by a File"),
                         fileTakesName(name, library) + QStringLiteral(" Cannot create it.")};
             const auto made = job.change(
                 QStringLiteral("The shelf '%1' may still be created when the folder answers "
                                "again.")
                     .arg(name),
                 [&] { return fs.CreateFolder(path); });
             if (!made)
                 return {}; // stopped before it began
             if (!*made)
                 return failure(QStringLiteral("Cannot Create Shelf"),
                                QStringLiteral("The shelf '%1' could not be created.").arg(name),
                                made->error());
             return {};
         },
         [this](Job::Outcome) { m_bookcase.reloadShelves(); }});
}

void Commands::cmdShelfRename_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.ShelfName.isEmpty())
        return;
    const QString oldName = shownName(t.ShelfName);
    const QString newName = g.prompter->input(QStringLiteral("Rename '%1' to ...").arg(oldName),
                                              QStringLiteral("Rename Shelf"));
    if (newName.toUtf8() == t.ShelfName) {
        m_bookcase.report({SameNameTitle, NameNotChanged});
        return;
    }
    if (newName.isEmpty())
        return m_bookcase.reloadShelves();
    if (const Notice refused = typedNameNotice(newName))
        return m_bookcase.report(refused);
    const Path oldPath = m_bookcase.bookPath(t.ShelfName);
    const Path newPath = m_bookcase.bookPath(newName.toUtf8());
    auto renamed = std::make_shared<bool>(false);
    m_bookcase.runCommand(
        {m_bookcase.libraryFolder(),
         oldPath.bytes(),
         {oldPath.bytes(), newPath.bytes()},
         [fs = g.FileSys, oldPath, newPath, oldName, newName, renamed,
          library = m_bookcase.libraryFolder()](Job::Context &job) -> Notice {
             // Another letter case of the same name names the shelf itself where case is
             // ignored.
             if (fs.nameState(newPath) == NameState::Taken && !fs.sameFile(oldPath, newPath)) {
                 return fs.FolderExists(newPath)
                     ? Notice {QStringLiteral("Shelf Exists"),
                               QStringLiteral("Shelf Exists. Cannot Rename.")}
                     : Notice {QStringLiteral("Name Taken by a File"),
                               fileTakesName(newName, library) + QStringLiteral(" Cannot rename.")};
             }
             const auto moved = job.change(
                 QStringLiteral("The shelf '%1' may still be renamed when the folder answers "
                                "again.")
                     .arg(oldName),
                 [&] { return fs.MoveFolder(oldPath, newPath); });
             if (!moved)
                 return {}; // stopped before it began
             if (!*moved)
                 return failure(QStringLiteral("Cannot Rename Shelf"),
                                QStringLiteral("The shelf '%1' could not be renamed to '%2'.")
                                    .arg(oldName, newName),
                                moved->error());
             *renamed = true;
             return {};
         },
         [this, renamed, oldShelf = t.ShelfName, newShelf = newName.toUtf8()](Job::Outcome ended) {
             // The current shelf stays current under its new name.
             if (ended == Job::Outcome::Done && *renamed && m_bookcase.currentShelf() == oldShelf)
                 m_bookcase.currentShelfRenamed(newShelf);
             m_bookcase.reloadShelves();
         }});
}

void Commands::mnuShelfDelete_Click()
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (t.ShelfName.isEmpty())
        return;
    const QString name = shownName(t.ShelfName);
    const Path path = m_bookcase.bookPath(t.ShelfName);
    auto deleted = std::make_shared<bool>(false);
    m_bookcase.runCommand(
        {path.shown(),
         path.bytes(),
         {path.bytes()},
         [fs = g.FileSys, path, name, deleted](Job::Context &job) -> Notice {
             const auto folder = fs.GetFolder(path);
             if (!folder)
                 return failure(QStringLiteral("Cannot Delete Shelf"),
                                QStringLiteral("The shelf '%1' cannot be opened.").arg(name),
                                folder.error());
             folder->fileNames(nullptr, true); // a crash's leftovers do not keep the shelf
             const FolderContents held = folder->contents();
             // Sub-folders and hidden files count too: nothing the user cannot see is deleted,
             // and the message says what keeps the shelf.
             if (!held.empty())
                 return {QStringLiteral("Cannot Delete Shelf"),
                         name + QStringLiteral(" is not empty. Cannot delete.")
                             + (held.files < 0
                                    ? QString()
                                    : QStringLiteral(" It holds %1.").arg(held.described()))};
             if (job.ask(QStringLiteral("Delete Shelf"), deleteQuestion(name),
                         Prompter::Buttons::YesNo)
                 != Prompter::Answer::Yes)
                 return {};
             const auto removed = job.change(
                 QStringLiteral("The shelf '%1' may still be deleted when the folder answers "
                                "again.")
                     .arg(name),
                 [&] { return fs.DeleteFolder(path); });
             if (!removed)
                 return {}; // stopped before it began
             if (!*removed)
                 return failure(QStringLiteral("Cannot Delete Shelf"),
                                QStringLiteral("The shelf '%1' could not be deleted.").arg(name),
                                removed->error());
             *deleted = true;
             return {};
         },
         [this, deleted, shelf = t.ShelfName](Job::Outcome ended) {
             if (ended == Job::Outcome::Done && *deleted && m_bookcase.currentShelf() == shelf)
                 m_bookcase.showFirstShelf();
             else
                 m_bookcase.reloadShelves();
         }});
}

void Commands::addOutsideBooks(const Path &folder, const QList<QByteArray> &fileNames, bool move,
                               std::function<void()> done)
{
    const CommandScope command(m_bookcase);
    const PopUpTarget t = m_bookcase.target();
    if (fileNames.isEmpty() || t.ShelfName.isEmpty())
        return;
    std::vector<Transfer> batch;
    QList<QByteArray> holds {m_bookcase.bookPath(t.ShelfName).bytes()};
    for (const QByteArray &fileName : fileNames) {
        const Path source
            = folder.bytes().endsWith('/') ? Path(folder.bytes() + fileName) : folder / fileName;
        batch.push_back(toShelf(source, m_bookcase.bookPath(t.ShelfName), t.ShelfName, move));
        holds << source.bytes();
    }
    // The picker may show the shelf's own folder: then the file is already where it would go.
    m_bookcase.runCommand({m_bookcase.bookPath(t.ShelfName).shown(),
                           m_bookcase.bookPath(t.ShelfName).bytes(), holds,
                           [fs = g.FileSys, batch](Job::Context &job) {
                               return transferBooks(fs, job, batch).failure;
                           },
                           [this, shelf = t.ShelfName, done](Job::Outcome) {
                               m_bookcase.redrawShelves();
                               if (m_bookcase.currentShelf() == shelf)
                                   m_bookcase.reloadBooks();
                               if (done)
                                   done();
                           }});
}
